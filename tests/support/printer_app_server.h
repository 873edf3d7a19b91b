// The built qx-printer-app, started for a test on a free localhost port with virtual
// printers, and stopped with the test.
//
//   PrinterAppServer server("qa11,qb20");           // QX_VIRTUAL_PRINTERS of the server
//   if (!server.available()) GTEST_SKIP() << server.error();
//   ASSERT_TRUE(server.ok()) << server.error();
//   ... FindSharedPrinters({{server.address()}, false}) ...
//   server.trace("qb20-1")                            // the virtual printer's trace
//
// The test binary needs the compile definition QX_PRINTER_APP (the program's path; CMake
// sets it only when PAPPL was found, so that without it the tests skip) and links
// qx_shared_printers, with which the server is asked whether it offers its printers yet.
// Starting takes one to two seconds: share one server among the tests of a suite.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/shared/shared_printers.h"
#include "device/virtual/virtual_config.h"
#include "support/temp_dir.h"

namespace qx::testing {

class PrinterAppServer {
 public:
  // Starts the server with the virtual printers of `virtual_printers` (as QX_VIRTUAL_PRINTERS
  // takes them; virtual printer N is the queue "Kelmor QB20 virtual N") and waits, at most
  // `start_seconds`, until it offers all of them.
  explicit PrinterAppServer(const std::string& virtual_printers, int start_seconds = 30) {
#ifndef QX_PRINTER_APP
    error_ = "qx-printer-app was not built (libpappl-dev missing)";
    (void)virtual_printers;
    (void)start_seconds;
#else
    available_ = true;
    port_ = FreePort();
    if (port_ == 0) {
      error_ = "no free port";
      return;
    }
    const std::size_t expected = ParseVirtualPrinters(virtual_printers).printers.size();
    std::filesystem::create_directories(state_dir());
    pid_ = StartServer(virtual_printers);
    if (pid_ < 0) {
      error_ = "cannot start qx-printer-app";
      return;
    }
    const SharedPrinterSearch search{{address()}, false, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(start_seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        error_ = "qx-printer-app ended at start:\n" + Read(dir_ / "server.out");
        return;
      }
      if (FindSharedPrinters(search).size() >= expected) {
        ok_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    error_ = "qx-printer-app did not offer " + std::to_string(expected) + " printer(s) in time:\n" +
             Read(state_dir() / "qx-printer-app.log");
#endif
  }

  ~PrinterAppServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int n = 0; n < 100; ++n) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  PrinterAppServer(const PrinterAppServer&) = delete;
  PrinterAppServer& operator=(const PrinterAppServer&) = delete;

  // False when the program was not built: the test skips.
  bool available() const { return available_; }
  // True once the server offers every printer asked for.
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  int port() const { return port_; }
  // "localhost:PORT", as SharedPrinterSearch::addresses takes it.
  std::string address() const { return "localhost:" + std::to_string(port_); }
  // ipp://localhost:PORT/ipp/print/QUEUE
  std::string uri(const std::string& queue) const {
    return "ipp://" + address() + "/ipp/print/" + queue;
  }
  // QX_VIRTUAL_PRINTER_DIR of the server: run-001/<printer>.trace and tape pictures.
  std::filesystem::path virtual_dir() const { return dir_.path() / "virtual-printers"; }
  std::filesystem::path state_dir() const { return dir_.path() / "state"; }
  // The server's log (jobs included).
  std::string log() const { return Read(state_dir() / "qx-printer-app.log"); }

  // The trace of a virtual printer ("qb20-1": model and number).
  std::string trace(const std::string& printer) const {
    return Read(virtual_dir() / "run-001" / (printer + ".trace"));
  }

  // How each job of a virtual printer ended: "finished", "fault", "aborted", and the
  // markers it printed; in the order of the jobs.
  struct JobEnd {
    std::string reason;
    int printed = 0;
  };
  std::vector<JobEnd> job_ends(const std::string& printer) const {
    std::vector<JobEnd> ends;
    const std::string text = trace(printer);
    static const std::regex line(R"(^job-end \d+ (\w+) (\d+)$)", std::regex::multiline);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
         it != std::sregex_iterator(); ++it)
      ends.push_back({(*it)[1].str(), std::stoi((*it)[2].str())});
    return ends;
  }

 private:
  static int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0)
      port = ntohs(a.sin_port);
    close(s);
    return port;
  }

  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

#ifdef QX_PRINTER_APP
  // Forks the server, its output in server.out. The child only redirects and executes:
  // everything it needs is made before the fork.
  pid_t StartServer(const std::string& virtual_printers) {
    // Under AddressSanitizer PAPPL's and fontconfig's lifetime allocations are no fault.
    const std::string supp = (dir_.path() / "lsan.supp").string();
    std::ofstream(supp) << "leak:libfontconfig\nleak:libpappl\nleak:libcups\n";
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) {
      const std::string_view v = *e;
      if (v.rfind("QX_", 0) != 0 && v.rfind("LSAN_OPTIONS=", 0) != 0) env_text.emplace_back(v);
    }
    env_text.push_back("QX_VIRTUAL_PRINTERS=" + virtual_printers);
    env_text.push_back("QX_VIRTUAL_PRINTER_DIR=" + virtual_dir().string());
    env_text.push_back("LSAN_OPTIONS=suppressions=" + supp);
    const std::vector<std::string> arg_text = {
        QX_PRINTER_APP, "server", "-o", "server-port=" + std::to_string(port_),
        "-o", "listen-hostname=localhost", "-o", "state-directory=" + state_dir().string(),
        "-o", "usb=no", "-o", "log-level=debug"};
    std::vector<char*> env, args;
    for (const std::string& e : env_text) env.push_back(const_cast<char*>(e.c_str()));
    for (const std::string& a : arg_text) args.push_back(const_cast<char*>(a.c_str()));
    env.push_back(nullptr);
    args.push_back(nullptr);
    const std::string out = (dir_.path() / "server.out").string();

    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
      }
      execve(QX_PRINTER_APP, args.data(), env.data());
      _exit(127);
    }
    return pid;
  }
#endif

  TempDir dir_;
  bool available_ = false;
  bool ok_ = false;
  std::string error_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace qx::testing

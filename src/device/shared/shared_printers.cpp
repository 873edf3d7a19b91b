// The IPP client of printer applications, on libcups: CUPS-Get-Printers on the system
// object of every address asked, Get-Printer-Attributes on the printers announced by
// DNS-SD (avahi), and Print-Job, Get-Job-Attributes and Cancel-Job for the jobs.
#include "device/shared/shared_printers.h"

#include <cups/cups.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <system_error>
#include <tuple>
#include <utility>

#include "device/known_printers.h"

#ifdef QX_HAVE_AVAHI
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/simple-watch.h>
#include <avahi-common/strlst.h>
#endif

namespace qx {
namespace {

// How long connecting to a printer application may take, and how long an answer may keep
// us waiting once connected (a document file is small: sending it is quick too).
constexpr int kConnectMs = 2000;
constexpr double kAnswerSeconds = 2.0;
constexpr double kSubmitAnswerSeconds = 10.0;

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// "host:port" or "host" (our port), "[v6]:port" as well.
struct HostPort {
  std::string host;
  int port = kPrinterAppPort;
};

bool SplitAddress(const std::string& address, HostPort& out) {
  std::string host = address;
  int port = kPrinterAppPort;
  const auto colon = address.rfind(':');
  const auto bracket = address.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    host = address.substr(0, colon);
    const std::string digits = address.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    port = std::atoi(digits.c_str());
    if (port < 1 || port > 65535) return false;
  }
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host.empty()) return false;
  out = {host, port};
  return true;
}

std::string AuthorityOf(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// A connection to a printer application, closed when it goes.
class Connection {
 public:
  Connection(const std::string& host, int port, double answer_seconds) {
    // Made without connecting, then connected: a failed connect keeps its reason then.
    http_ = httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                         1, 0, nullptr);
    if (!http_) {
      error_ = AuthorityOf(host, port) + ": " + cupsLastErrorString();
      return;
    }
    if (httpReconnect2(http_, kConnectMs, nullptr) != 0) {
      error_ = AuthorityOf(host, port) + ": " + cupsLastErrorString();
      httpClose(http_);
      http_ = nullptr;
      return;
    }
    // An answer that does not come in time ends the request instead of waiting forever.
    httpSetTimeout(http_, answer_seconds, [](http_t*, void*) { return 0; }, nullptr);
  }
  ~Connection() {
    if (http_) httpClose(http_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  http_t* get() const { return http_; }
  const std::string& error() const { return error_; }

 private:
  http_t* http_ = nullptr;
  std::string error_;
};

// The parts of an ipp:// URI a request needs.
struct UriParts {
  std::string host;
  int port = 0;
  std::string resource;
};

bool SplitUri(const std::string& uri, UriParts& out) {
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_NONE, uri.c_str(), scheme, sizeof scheme, user, sizeof user,
                      host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return false;
  if (std::strcmp(scheme, "ipp") != 0 && std::strcmp(scheme, "ipps") != 0) return false;
  out = {host, port, resource};
  return true;
}

std::string StringOf(ipp_attribute_t* attr) {
  const char* text = attr ? ippGetString(attr, 0, nullptr) : nullptr;
  return text ? text : "";
}

bool TakesOurFormat(ipp_attribute_t* formats) {
  for (int n = 0; n < ippGetCount(formats); ++n)
    if (const char* f = ippGetString(formats, n, nullptr); f && kQxDocumentFormat == f) return true;
  return false;
}

const char* const kPrinterAttributes[] = {"printer-name", "printer-info", "printer-uri-supported",
                                          "printer-uuid", "printer-make-and-model",
                                          "document-format-supported"};

// One printer's attributes, as a response lists them in its group.
struct PrinterFields {
  std::string name, info, uri, uuid, model;
  bool ours = false;
  bool any = false;

  void Take(ipp_attribute_t* a) {
    const std::string_view n = ippGetName(a);
    any = true;
    if (n == "printer-name") name = StringOf(a);
    else if (n == "printer-info") info = StringOf(a);
    else if (n == "printer-uri-supported") uri = StringOf(a);
    else if (n == "printer-uuid") uuid = StringOf(a);
    else if (n == "printer-make-and-model") model = StringOf(a);
    else if (n == "document-format-supported") ours = TakesOurFormat(a);
  }

  // The printer, when it takes our document files. Its URI is rebuilt on `authority` with
  // the resource the printer application gives: the printer application names itself in
  // its URIs as it was asked, which need not be how we reach it.
  bool ToPrinter(const std::string& host, const std::string& authority, SharedPrinter& out) const {
    UriParts parts;
    if (!ours || uri.empty() || !SplitUri(uri, parts)) return false;
    out.name = info.empty() ? name : info;
    out.host = host;
    out.uri = "ipp://" + authority + parts.resource;
    out.uuid = uuid;
    out.model = model;
    return true;
  }
};

// The printers of every printer group of `response` that take our document files.
std::vector<SharedPrinter> PrintersOf(ipp_t* response, const std::string& host,
                                      const std::string& authority) {
  std::vector<SharedPrinter> found;
  PrinterFields fields;
  const auto finish = [&] {
    SharedPrinter p;
    if (fields.any && fields.ToPrinter(host, authority, p)) found.push_back(std::move(p));
    fields = {};
  };
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    if (ippGetGroupTag(a) == IPP_TAG_PRINTER && ippGetName(a)) fields.Take(a);
    else finish();  // a separator or another group ends a printer's group
  }
  finish();
  return found;
}

// A request to the printer at `uri`, as `user` (empty: the login name libcups knows).
ipp_t* RequestFor(ipp_op_t op, const std::string& uri, const std::string& user = {}) {
  ipp_t* request = ippNewRequest(op);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               user.empty() ? cupsUser() : user.c_str());
  return request;
}

void AddRequestedAttributes(ipp_t* request) {
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kPrinterAttributes)), nullptr, kPrinterAttributes);
}


// The printers of the printer application at `address`, by CUPS-Get-Printers.
std::vector<SharedPrinter> AskAddress(const std::string& address) {
  std::vector<SharedPrinter> found;
  HostPort hp;
  if (!SplitAddress(address, hp)) return found;
  Connection http(hp.host, hp.port, kAnswerSeconds);
  if (!http.get()) return found;
  const std::string authority = AuthorityOf(hp.host, hp.port);
  // The system object is named by the resource alone: PAPPL looks a printer-uri up as a
  // printer's.
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  AddRequestedAttributes(request);
  ipp_t* response = cupsDoRequest(http.get(), request, "/ipp/system");
  if (!response) return found;
  if (ippGetStatusCode(response) < IPP_STATUS_ERROR_BAD_REQUEST)
    found = PrintersOf(response, hp.host, authority);
  ippDelete(response);
  return found;
}

#ifdef QX_HAVE_AVAHI

// One _ipp._tcp service found, resolved.
struct Announced {
  std::string host_name;  // "workshop.local"
  std::string address;    // the address it resolved to, numeric
  int port = 0;
  std::string resource;   // "/ipp/print/QUEUE"
};

std::string TxtValue(AvahiStringList* txt, const char* key) {
  AvahiStringList* entry = avahi_string_list_find(txt, key);
  if (!entry) return {};
  char* k = nullptr;
  char* v = nullptr;
  if (avahi_string_list_get_pair(entry, &k, &v, nullptr) < 0) return {};
  std::string value = v ? v : "";
  avahi_free(k);
  avahi_free(v);
  return value;
}

// Whether the TXT record says the printer may be one of ours: a model we drive, or our
// document format among the formats it lists.
bool MayBeOurs(AvahiStringList* txt) {
  const std::string model = TxtValue(txt, "ty");
  for (const KnownPrinter& p : kKnownPrinters)
    if (model.find(p.name) != std::string::npos) return true;
  return TxtValue(txt, "pdl").find(kQxDocumentFormat) != std::string::npos;
}

struct Browse {
  AvahiSimplePoll* poll = nullptr;
  AvahiClient* client = nullptr;
  int resolving = 0;
  bool all_for_now = false;
  bool failed = false;
  std::vector<Announced> found;
};

void Resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
              AvahiResolverEvent event, const char*, const char*, const char*,
              const char* host_name, const AvahiAddress* address, uint16_t port,
              AvahiStringList* txt, AvahiLookupResultFlags, void* data) {
  auto* browse = static_cast<Browse*>(data);
  if (event == AVAHI_RESOLVER_FOUND && host_name && address && MayBeOurs(txt)) {
    char numeric[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(numeric, sizeof numeric, address);
    std::string resource = TxtValue(txt, "rp");
    if (resource.empty()) resource = "ipp/print";
    browse->found.push_back({host_name, numeric, port, "/" + resource});
  }
  avahi_service_resolver_free(resolver);
  --browse->resolving;
}

void Browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
             AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
             AvahiLookupResultFlags, void* data) {
  auto* browse = static_cast<Browse*>(data);
  switch (event) {
    case AVAHI_BROWSER_NEW:
      // IPv4 addresses: they need no interface to connect to, unlike link-local IPv6 ones.
      if (avahi_service_resolver_new(browse->client, interface, protocol, name, type, domain,
                                     AVAHI_PROTO_INET, static_cast<AvahiLookupFlags>(0),
                                     Resolved, browse))
        ++browse->resolving;
      break;
    case AVAHI_BROWSER_ALL_FOR_NOW: browse->all_for_now = true; break;
    case AVAHI_BROWSER_FAILURE: browse->failed = true; break;
    default: break;
  }
}

// The _ipp._tcp services that may be our printers, looked for for at most `ms`; none when
// avahi-daemon does not run (the client fails at once then).
std::vector<Announced> BrowseIpp(int ms) {
  Browse browse;
  browse.poll = avahi_simple_poll_new();
  if (!browse.poll) return {};
  int error = 0;
  browse.client = avahi_client_new(avahi_simple_poll_get(browse.poll),
                                   static_cast<AvahiClientFlags>(0), nullptr, nullptr, &error);
  if (browse.client) {
    AvahiServiceBrowser* browser = avahi_service_browser_new(
        browse.client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, "_ipp._tcp", nullptr,
        static_cast<AvahiLookupFlags>(0), Browsed, &browse);
    if (browser) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (!browse.failed && !(browse.all_for_now && browse.resolving == 0)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        if (avahi_simple_poll_iterate(browse.poll, static_cast<int>(std::min<long long>(left, 100))) != 0)
          break;
      }
      avahi_service_browser_free(browser);
    }
    // Frees the resolvers still running too.
    avahi_client_free(browse.client);
  }
  avahi_simple_poll_free(browse.poll);
  return std::move(browse.found);
}

// Whether `host` resolves here (mDNS names need nss-mdns): the URI names the printer by
// its host name when it does, by the address it was announced with otherwise.
bool Resolves(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return false;
  freeaddrinfo(list);
  return true;
}

// The announced printer's attributes, when it takes our document files.
bool AskAnnounced(const Announced& a, SharedPrinter& out) {
  Connection http(a.address, a.port, kAnswerSeconds);
  if (!http.get()) return false;
  const std::string asked = "ipp://" + AuthorityOf(a.address, a.port) + a.resource;
  ipp_t* request = RequestFor(IPP_OP_GET_PRINTER_ATTRIBUTES, asked);
  AddRequestedAttributes(request);
  ipp_t* response = cupsDoRequest(http.get(), request, a.resource.c_str());
  if (!response) return false;
  bool ok = false;
  if (ippGetStatusCode(response) < IPP_STATUS_ERROR_BAD_REQUEST) {
    std::string host = a.host_name;
    if (host.size() > 1 && host.back() == '.') host.pop_back();
    const std::string uri_host = Resolves(host) ? host : a.address;
    std::vector<SharedPrinter> found = PrintersOf(response, host, AuthorityOf(uri_host, a.port));
    if (!found.empty()) {
      out = std::move(found.front());
      ok = true;
    }
  }
  ippDelete(response);
  return ok;
}

std::vector<SharedPrinter> FindAnnounced(int ms) {
  std::vector<SharedPrinter> found;
  std::set<std::pair<std::string, std::string>> asked;
  for (const Announced& a : BrowseIpp(ms)) {
    // A service is announced on every interface and protocol: asked once.
    if (!asked.insert({AuthorityOf(a.address, a.port), a.resource}).second) continue;
    SharedPrinter p;
    if (AskAnnounced(a, p)) found.push_back(std::move(p));
  }
  return found;
}

#else

std::vector<SharedPrinter> FindAnnounced(int) { return {}; }

#endif

// Submit, Status and Cancel over IPP.
class IppClient final : public SharedPrinterClient {
 public:
  SubmitResult Submit(const SharedPrinter& printer, const std::string& document,
                      const SharedJobChoice& choice, const std::string& user) override {
    SubmitResult result;
    UriParts uri;
    if (!SplitUri(printer.uri, uri)) {
      result.error = SubmitError::kRefused;
      result.detail = "bad printer URI: " + printer.uri;
      return result;
    }
    if (!std::ifstream(document, std::ios::binary)) {
      result.error = SubmitError::kRefused;
      result.detail = "cannot read " + document;
      return result;
    }
    Connection http(uri.host, uri.port, kSubmitAnswerSeconds);
    if (!http.get()) {
      result.error = SubmitError::kUnreachable;
      result.detail = http.error();
      return result;
    }
    // The job's request, for Validate-Job and Print-Job alike.
    auto job_request = [&](ipp_op_t op) {
      ipp_t* request = Request(op, printer, user);
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                   std::filesystem::path(document).filename().c_str());
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                   std::string(kQxDocumentFormat).c_str());
      ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", std::max(1, choice.copies));
      if (choice.first > 0) {
        const int last = choice.last > 0 ? choice.last : choice.first;
        ippAddRange(request, IPP_TAG_JOB, "segment-range", std::min(choice.first, last),
                    std::max(choice.first, last));
      }
      ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "marker-order", nullptr,
                   choice.repeat_first ? "repeat-first" : "serial-first");
      if (choice.first_marker > 1)
        ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "first-marker", choice.first_marker);
      if (choice.density >= 1 && choice.density <= 7)
        ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "marker-density", choice.density);
      return request;
    };
    // Validate-Job first, as CUPS does: a printer application on another machine asks a
    // plain connection to switch to TLS, which is only safe before a document is under way;
    // and a job it would refuse is refused before the document is sent.
    if (ipp_t* validated = cupsDoRequest(http.get(), job_request(IPP_OP_VALIDATE_JOB),
                                         uri.resource.c_str())) {
      const ipp_status_t status = ippGetStatusCode(validated);
      ippDelete(validated);
      if (status >= IPP_STATUS_ERROR_BAD_REQUEST) {
        result.error = SubmitError::kRefused;
        result.detail = cupsLastErrorString();
        return result;
      }
    }
    ipp_t* request = job_request(IPP_OP_PRINT_JOB);
    ipp_t* response = cupsDoFileRequest(http.get(), request, uri.resource.c_str(), document.c_str());
    if (!response) {
      // Nothing came back: the connection broke or the answer did not come in time.
      result.error = cupsLastError() >= IPP_STATUS_ERROR_BAD_REQUEST &&
                             cupsLastError() != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE &&
                             cupsLastError() != IPP_STATUS_ERROR_INTERNAL
                         ? SubmitError::kRefused
                         : SubmitError::kUnreachable;
      result.detail = cupsLastErrorString();
      return result;
    }
    if (ippGetStatusCode(response) >= IPP_STATUS_ERROR_BAD_REQUEST) {
      result.error = SubmitError::kRefused;
      result.detail = cupsLastErrorString();
    } else if (ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER)) {
      result.job_id = ippGetInteger(id, 0);
    } else {
      result.error = SubmitError::kRefused;
      result.detail = "no job-id in the answer";
    }
    ippDelete(response);
    return result;
  }

  SharedJobStatus Status(const SharedPrinter& printer, int job_id) override {
    SharedJobStatus status;
    UriParts uri;
    if (!SplitUri(printer.uri, uri)) return status;
    Connection http(uri.host, uri.port, kAnswerSeconds);
    if (!http.get()) return status;
    ipp_t* request = Request(IPP_OP_GET_JOB_ATTRIBUTES, printer, {});
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job_id);
    static const char* const wanted[] = {"job-state", "job-impressions",
                                         "job-impressions-completed", "job-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(http.get(), request, uri.resource.c_str());
    if (!response) return status;
    status.answered = true;
    if (ippGetStatusCode(response) >= IPP_STATUS_ERROR_BAD_REQUEST) {
      // The printer application no longer knows the job (it was restarted): it will not end
      // any other way.
      status.state = SharedJobState::kAborted;
      status.gone = true;
      ippDelete(response);
      return status;
    }
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
      switch (static_cast<ipp_jstate_t>(ippGetInteger(a, 0))) {
        case IPP_JSTATE_PENDING:
        case IPP_JSTATE_HELD: status.state = SharedJobState::kPending; break;
        case IPP_JSTATE_PROCESSING:
        case IPP_JSTATE_STOPPED: status.state = SharedJobState::kProcessing; break;
        case IPP_JSTATE_CANCELED: status.state = SharedJobState::kCanceled; break;
        case IPP_JSTATE_ABORTED: status.state = SharedJobState::kAborted; break;
        case IPP_JSTATE_COMPLETED: status.state = SharedJobState::kCompleted; break;
      }
    }
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-impressions", IPP_TAG_INTEGER))
      status.markers = ippGetInteger(a, 0);
    if (ipp_attribute_t* a =
            ippFindAttribute(response, "job-impressions-completed", IPP_TAG_INTEGER))
      status.markers_done = ippGetInteger(a, 0);
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-state-message", IPP_TAG_ZERO))
      status.message = StringOf(a);
    ippDelete(response);
    return status;
  }

  bool Cancel(const SharedPrinter& printer, int job_id, const std::string& user) override {
    UriParts uri;
    if (!SplitUri(printer.uri, uri)) return false;
    Connection http(uri.host, uri.port, kAnswerSeconds);
    if (!http.get()) return false;
    ipp_t* request = Request(IPP_OP_CANCEL_JOB, printer, user);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job_id);
    ipp_t* response = cupsDoRequest(http.get(), request, uri.resource.c_str());
    if (!response) return false;
    const bool taken = ippGetStatusCode(response) < IPP_STATUS_ERROR_BAD_REQUEST;
    ippDelete(response);
    return taken;
  }

 private:
  static ipp_t* Request(ipp_op_t op, const SharedPrinter& printer, const std::string& user) {
    return RequestFor(op, printer.uri, user);
  }
};

}  // namespace

SharedPrinterSearch SharedPrinterSearchFromEnvironment(const EnvLookup& env) {
  SharedPrinterSearch search;
  const char* apps = LookupEnv(env, "QX_PRINTER_APPS");
  const std::string list = apps ? apps : "";
  if (Trimmed(list) == "none") {
    search.dns_sd = false;
    return search;
  }
  search.addresses.push_back("localhost:" + std::to_string(kPrinterAppPort));
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    std::string address = Trimmed(std::string_view(list).substr(start, comma - start));
    HostPort hp;
    if (!address.empty() && SplitAddress(address, hp)) {
      const std::string normal = AuthorityOf(hp.host, hp.port);
      if (std::find(search.addresses.begin(), search.addresses.end(), normal) ==
          search.addresses.end())
        search.addresses.push_back(normal);
    }
    start = comma + 1;
  }
  return search;
}

std::vector<SharedPrinter> FindSharedPrinters(const SharedPrinterSearch& search) {
  // Every address and the DNS-SD browse at once: the slowest bounds the whole search.
  // Where no thread can be started, the search is done here, one after the other.
  const auto start = [](auto ask, auto what) {
    try {
      return std::async(std::launch::async, ask, what);
    } catch (const std::system_error&) {
      return std::async(std::launch::deferred, ask, what);
    }
  };
  std::vector<std::future<std::vector<SharedPrinter>>> asked;
  for (const std::string& address : search.addresses) asked.push_back(start(AskAddress, address));
  std::future<std::vector<SharedPrinter>> announced;
  if (search.dns_sd) announced = start(FindAnnounced, std::max(0, search.dns_sd_ms));

  // A printer found twice is kept as found first: at an address asked directly (as
  // localhost for this machine's) before the announced one.
  std::vector<SharedPrinter> all;
  std::set<std::string> seen;
  const auto keep = [&](std::vector<SharedPrinter> found) {
    for (SharedPrinter& p : found)
      if (seen.insert(p.uuid.empty() ? p.uri : p.uuid).second) all.push_back(std::move(p));
  };
  for (auto& f : asked) keep(f.get());
  if (announced.valid()) keep(announced.get());
  std::sort(all.begin(), all.end(), [](const SharedPrinter& a, const SharedPrinter& b) {
    return std::tie(a.host, a.name, a.uri) < std::tie(b.host, b.name, b.uri);
  });
  return all;
}

std::unique_ptr<SharedPrinterClient> MakeIppClient() { return std::make_unique<IppClient>(); }

}  // namespace qx

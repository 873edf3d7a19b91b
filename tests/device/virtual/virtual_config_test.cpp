#include "device/virtual/virtual_config.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qx {
namespace {

TEST(VirtualPrinterList, ModelsAndOptions) {
  const VirtualPrinterList list = ParseVirtualPrinters(
      " qb20 , QA11:speed=real:tube=105:label=98:fault=busy:fail=7*2:hang=finish,"
      "qb16i:fault=ribbon-out@3:fault=setup-rejected:fault=cover-open@finish:"
      "fail=item2:unplug=item4:replug=1500:echo=once@2:hang=reset:ready=3:speed=45:lag=250");
  ASSERT_TRUE(list.ok()) << list.error;
  ASSERT_EQ(list.printers.size(), 3u);

  const VirtualPrinterConfig& b20 = list.printers[0];
  EXPECT_EQ(b20.model, VirtualModel::kQB20);
  EXPECT_EQ(b20.options.speed_mm_per_s, 0);
  EXPECT_EQ(b20.options.tube_calibration, 110);
  EXPECT_EQ(b20.options.label_calibration, 110);
  EXPECT_TRUE(b20.faults.empty() && b20.failures.empty() && !b20.unplug);

  const VirtualPrinterConfig& a11 = list.printers[1];
  EXPECT_EQ(a11.model, VirtualModel::kQA11);
  EXPECT_EQ(a11.options.speed_mm_per_s, kRealSpeedMmPerS);
  EXPECT_EQ(a11.options.tube_calibration, 105);
  EXPECT_EQ(a11.options.label_calibration, 98);
  ASSERT_EQ(a11.faults.size(), 1u);
  EXPECT_EQ(a11.faults[0].kind, FaultKind::kBusy);
  EXPECT_EQ(a11.faults[0].stage, FaultStage::kOpen);
  ASSERT_EQ(a11.failures.size(), 1u);
  EXPECT_EQ(a11.failures[0].at.transfer, 7);
  EXPECT_EQ(a11.failures[0].count, 2);
  EXPECT_TRUE(a11.options.hang_finish);

  const VirtualPrinterConfig& b16 = list.printers[2];
  EXPECT_EQ(b16.model, VirtualModel::kQB16i);
  ASSERT_EQ(b16.faults.size(), 3u);
  EXPECT_EQ(b16.faults[0].kind, FaultKind::kRibbonOut);
  EXPECT_EQ(b16.faults[0].stage, FaultStage::kItem);
  EXPECT_EQ(b16.faults[0].item, 3);
  EXPECT_EQ(b16.faults[1].stage, FaultStage::kStart);  // the default stage of setup-rejected
  EXPECT_EQ(b16.faults[2].stage, FaultStage::kFinish);
  ASSERT_EQ(b16.failures.size(), 1u);
  EXPECT_EQ(b16.failures[0].at.item, 2);
  EXPECT_EQ(b16.failures[0].count, 1);
  ASSERT_TRUE(b16.unplug);
  EXPECT_EQ(b16.unplug->item, 4);
  EXPECT_EQ(b16.options.replug_after_ms, 1500u);
  EXPECT_EQ(b16.options.echo, EchoFault::kOnce);
  EXPECT_EQ(b16.options.echo_item, 2);
  EXPECT_TRUE(b16.options.hang_reset);
  EXPECT_EQ(b16.options.ready_polls, 3);
  EXPECT_EQ(b16.options.lag_ms, 250);
  EXPECT_EQ(list.printers[1].options.lag_ms, 0);
  EXPECT_EQ(b16.options.speed_mm_per_s, 45);

  EXPECT_TRUE(ParseVirtualPrinters("").ok());
  EXPECT_TRUE(ParseVirtualPrinters("  ").printers.empty());
}

TEST(VirtualPrinterList, ModelTable) {
  EXPECT_EQ(InfoOf(VirtualModel::kQA11).ids, "vid_0471&pid_0666");
  EXPECT_EQ(InfoOf(VirtualModel::kQA11).name, "Kelmor QA11");
  EXPECT_EQ(InfoOf(VirtualModel::kQA11).generation, 1);
  EXPECT_EQ(InfoOf(VirtualModel::kQB20).ids, "vid_5d29&pid_2029");
  EXPECT_EQ(InfoOf(VirtualModel::kQB20).name, "Kelmor QB20");
  EXPECT_EQ(InfoOf(VirtualModel::kQB16i).ids, "vid_5d29&pid_202b");
  EXPECT_EQ(InfoOf(VirtualModel::kQB16i).name, "Kelmor QB16i");
  EXPECT_EQ(InfoOf(VirtualModel::kQB16i).generation, 2);
}

TEST(VirtualPrinterList, BadInputSaysWhatAndWhere) {
  const struct {
    const char* text;
    const char* says;
  } cases[] = {
      {"qc30", "printer 1 (\"qc30\"): unknown model \"qc30\""},
      {"qb20,,qa11", "printer 2 is empty"},
      {"qb20,qb20,qb20,qb20,qb20", "at most 4 virtual printers"},
      {"qb20:speed", "option \"speed\" has no value"},
      {"qb20:speed=fast", "bad value \"fast\" for speed"},
      {"qb20:speed=0", "bad value \"0\" for speed"},
      {"qb20:tube=256", "bad value \"256\" for tube"},
      {"qb20:label=-1", "bad value \"-1\" for label"},
      {"qb20:colour=red", "unknown option \"colour\""},
      {"qb20:fault=smoke", "unknown fault \"smoke\""},
      {"qa11:fault=labels-out", "fault \"labels-out\" does not exist on the qa11"},
      {"qb20:fault=cover-open@later", "bad fault time \"later\""},
      {"qb20:fault=cover-open@0", "bad fault time \"0\""},
      {"qb20:fail=item", "bad value \"item\" for fail"},
      {"qb20:fail=3*0", "bad value \"3*0\" for fail"},
      {"qb20:unplug=x", "bad value \"x\" for unplug"},
      {"qb20:replug=soon", "bad value \"soon\" for replug"},
      {"qa11:echo=once", "option echo applies to the second generation only"},
      {"qb20:echo=twice", "bad value \"twice\" for echo"},
      {"qa11:hang=reset", "option hang applies to the second generation only"},
      {"qb20:hang=forever", "bad value \"forever\" for hang"},
      {"qa11:ready=2", "option ready applies to the second generation only"},
      {"qa11:lag=10001", "bad value \"10001\" for lag"},
      {"qb20,qa11:fault=busy@x", "printer 2 (\"qa11:fault=busy@x\")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const VirtualPrinterList list = ParseVirtualPrinters(c.text);
    EXPECT_FALSE(list.ok());
    EXPECT_TRUE(list.printers.empty());
    EXPECT_NE(list.error.find(c.says), std::string::npos) << list.error;
  }
}

TEST(VirtualPrinterList, FromEnvironment) {
  std::map<std::string, std::string> env = {{"QX_VIRTUAL_PRINTERS", "qa11,qb16i"}};
  auto lookup = [&](const char* name) -> const char* {
    const auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  const VirtualPrinterList list = VirtualPrintersFromEnvironment(lookup);
  ASSERT_EQ(list.printers.size(), 2u);
  EXPECT_EQ(list.printers[1].model, VirtualModel::kQB16i);
  env.clear();
  EXPECT_TRUE(VirtualPrintersFromEnvironment(lookup).printers.empty());
  EXPECT_TRUE(VirtualPrintersFromEnvironment(lookup).ok());
}

TEST(VirtualPrinterDir, ChoosesTheFirstSetting) {
  const struct {
    std::map<std::string, std::string> env;
    std::filesystem::path dir;
  } cases[] = {
      {{{"QX_VIRTUAL_PRINTER_DIR", "/tmp/vp"}, {"XDG_STATE_HOME", "/s"}, {"HOME", "/h"}},
       "/tmp/vp"},
      {{{"QX_VIRTUAL_PRINTER_DIR", ""}, {"XDG_STATE_HOME", "/s"}, {"HOME", "/h"}},
       "/s/qx-editor/virtual-printers"},
      {{{"XDG_STATE_HOME", "relative"}, {"HOME", "/h"}},
       "/h/.local/state/qx-editor/virtual-printers"},
      {{{"HOME", "/h"}}, "/h/.local/state/qx-editor/virtual-printers"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    auto lookup = [&](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(VirtualPrinterDir(lookup), c.dir);
  }
}

}  // namespace
}  // namespace qx

// The corvalle-marketplace program as scripts and the demonstration use it.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/ProgramRunner.h"
#include "Tests/Support/ReadFile.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tests/Tools/Marketplace/ClientReading.h"
#include "Tests/Tools/Marketplace/RawHttpClient.h"
#include "Tools/Marketplace/World.h"

namespace {

std::string SamplePath(const std::string& name) {
  return std::string(CORVALLE_SAMPLES_DIR) + "/" + name;
}

class CommandLineTest : public ::testing::Test {
 protected:
  // Runs the program to its end; its exit status, its standard output in output.
  int Run(std::vector<std::string> arguments) {
    const int status = Testing::ProgramRunner::Wait(runner.Start(std::move(arguments), "run"));
    output = runner.Output("run");
    return status;
  }

  Testing::TemporaryDirectory files;
  Testing::ProgramRunner runner{CORVALLE_MARKETPLACE_PROGRAM, files.Path()};
  std::string output;
};

TEST_F(CommandLineTest, ServePrintsThePortAndServesUntilTerminated) {
  const pid_t server =
      runner.Start({"serve", "--world", SamplePath("world.json"), "--port", "0"}, "serve");
  ASSERT_NE(server, -1);
  // Checked in a function of its own, so that the server is ended whatever these find.
  [&] {
    std::string portLine;
    for (int wait = 0; wait < 1000 && portLine.find('\n') == std::string::npos; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      portLine = runner.Output("serve");
    }
    ASSERT_NE(portLine.find('\n'), std::string::npos) << portLine;
    const auto port = static_cast<std::uint16_t>(std::stoul(portLine));
    const Testing::RawResponse colors = Testing::Fetch(port, "/catalogColors.asp");
    EXPECT_EQ(colors.statusLine, "HTTP/1.0 200 OK");
    // The bundled guide's 155 lines but colour 0, which has no RGB value and is left out.
    EXPECT_EQ(Testing::ReadColorPage(colors.body).value_or(Corvalle::BrickLink::ColorList()).size(),
              154U);
    const Testing::RawResponse guide = Testing::Fetch(
        port, "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=3001&colorID=86",
        "isCountryID=US;viewCurrencyID=1;");
    const auto read = Testing::ReadPriceGuidePage(guide.body);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->newGuide.IsEmpty());
  }();
  kill(server, SIGTERM);
  EXPECT_EQ(Testing::ProgramRunner::Wait(server), 0);
}

TEST_F(CommandLineTest, ServeRefusesAMissingOrBrokenWorld) {
  EXPECT_EQ(Run({"serve", "--world", "/nonexistent/world.json"}), 1);
  EXPECT_EQ(output, "");
  EXPECT_NE(Run({"serve"}), 0);
}

TEST_F(CommandLineTest, GenerateReproducesTheSampleWorld) {
  // The recipe that the tool's README gives for Samples/world.json.
  EXPECT_EQ(Run({"generate", "--seed", "2015", "--stores", "300", "--items", "100", "--include",
                 SamplePath("castle-wall.xml"), "--include", SamplePath("space-shuttle.xml"),
                 "--include", SamplePath("town-corner.bsx")}),
            0);
  EXPECT_EQ(output, Testing::ReadFile(SamplePath("world.json")));

  EXPECT_EQ(Run({"generate", "--seed", "3", "--stores", "12", "--items", "4", "--include",
                 "/nonexistent/list.xml"}),
            1);
  EXPECT_EQ(output, "");
}

TEST_F(CommandLineTest, GenerateWritesAFamilyAndItsWantedList) {
  const Testing::LogCapture quiet;  // the wanted-list reader logs every item
  const std::string listPath = (files.Path() / "list.xml").string();
  EXPECT_EQ(Run({"generate", "--family", "one-item", "--stores", "20", "--wanted-list", listPath}),
            0);
  const auto world = Corvalle::Marketplace::World::FromJson(output);
  EXPECT_EQ(world.Stores().size(), 20U);
  ASSERT_EQ(world.PriceGuides().size(), 1U);
  const auto items = Corvalle::BrickStore::CreateXmlParser()->ParseItems(listPath.c_str());
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 1U);
  EXPECT_EQ(items->front().Id(), world.PriceGuides().front().id);
  EXPECT_EQ(items->front().Quantity(), 900U);

  // Without a family the sizes have no defaults; a list needs a family.
  EXPECT_NE(Run({"generate", "--stores", "12", "--items", "4"}), 0);
  EXPECT_EQ(output, "");
  EXPECT_NE(
      Run({"generate", "--seed", "3", "--stores", "12", "--items", "4", "--wanted-list", listPath}),
      0);
  EXPECT_EQ(output, "");
}

}  // namespace

// pelmora-tool, run as a process, through symbolic links. A file a command
// reads may be a link to a file (taken as the file), but a link to a
// folder, a named pipe or a device is refused as they are, and a link to
// nothing is a missing file. A file a command writes through a link (a
// chain of them, a relative one from another folder, one naming a file not
// there yet) lands in the file the link names, and the link stays a link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/tool_run.h"
#include "data/world_map.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using Ran = ToolRunResult;

class ToolLinksTest : public ::testing::Test {
 protected:
  Ran Run(std::vector<std::string> args) { return RunToolIn(folder_, std::move(args)); }
  std::string At(const std::string& name) const { return folder_ / name; }
  void Link(const std::string& target, const std::string& link) const {
    fs::create_directories(fs::path(At(link)).parent_path());
    fs::create_symlink(target, At(link));
  }

  TempFolder folder_{"toollinks"};
};

// A world map (a kind read without a project) and a sound, each
// named through a link, a link to a link, and a relative link from another
// folder: check, dump, resave and render-audio read the file the link
// names.
TEST_F(ToolLinksTest, AnInputThroughALinkToAFileIsReadAsTheFile) {
  const std::string map = folder_.Write("files/WorldMap.dat", cWorldMap().SaveToBytes());
  const std::string sound = folder_.Write(
      "files/tone.wav", fixtures::WavePcm16(1, 11025, std::vector<int16_t>(100, 1000)));
  Link(map, "WorldMap.dat");
  Link(At("WorldMap.dat"), "chain/WorldMap.dat");
  Link("../files/WorldMap.dat", "relative/WorldMap.dat");
  Link(sound, "tone.wav");
  for (const char* link : {"WorldMap.dat", "chain/WorldMap.dat", "relative/WorldMap.dat"}) {
    SCOPED_TRACE(link);
    Ran ran = Run({"check", At(link)});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out.rfind("ok worldmap: ", 0), 0u) << ran.out;
    ran = Run({"dump", At(link)});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out.rfind("{\"kind\":\"worldmap\"", 0), 0u) << ran.out.substr(0, 60);
    ran = Run({"resave", At(link), At("copy.dat")});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(Slurp(At("copy.dat")), Slurp(map));
  }
  const Ran ran = Run({"render-audio", At("tone.wav"), At("out.wav")});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(fs::is_regular_file(At("out.wav")));
}

// A link to what is not a file is refused as that thing is, before it is
// opened (a pipe would keep the command waiting for ever), and a link to
// nothing is named as a missing file. Nothing is printed or written.
TEST_F(ToolLinksTest, ALinkToWhatIsNotAFileIsRefusedAsThatThing) {
  ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
  fs::create_directory(At("folder"));
  struct Case {
    std::string target;
    const char* why;
  };
  const Case cases[] = {
      {At("pipe"), "not a file: it is a named pipe"},
      {At("folder"), "not a file: it is a folder"},
      {"/dev/zero", "not a file: it is a device"},
      {At("nothing-there.dat"), "no such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    fs::remove(At("WorldMap.dat"));
    Link(c.target, "WorldMap.dat");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", At("WorldMap.dat")}, std::vector<std::string>{"dump", At("WorldMap.dat")},
          std::vector<std::string>{"resave", At("WorldMap.dat"), At("copy.dat")}}) {
      SCOPED_TRACE(args[0]);
      const Ran ran = Run(args);
      EXPECT_EQ(ran.status, 1) << ran.err;
      EXPECT_EQ(ran.err, At("WorldMap.dat") + ": " + c.why + "\n");
      EXPECT_EQ(ran.out, "");
      EXPECT_FALSE(fs::exists(At("copy.dat")));
    }
  }
}

// resave IN OUT where OUT is a link: the file the link names takes the new
// bytes (keeping its mode), the link stays a link to it, and no file is left
// beside either. A link to a file not there yet makes that file; links
// that name each other are refused.
TEST_F(ToolLinksTest, AnOutputThroughALinkIsWrittenIntoTheFileItNames) {
  const std::string map = folder_.Write("WorldMap.dat", cWorldMap().SaveToBytes());
  struct Case {
    const char* name;
    std::string link, target;  // the link's text, and the file it names
    std::vector<std::string> chain;  // links to the link, the first one written to
  };
  const Case cases[] = {
      {"absolute", At("real/a.dat"), At("real/a.dat"), {}},
      {"relative from another folder", "../real/b.dat", At("real/b.dat"), {}},
      {"a chain", At("real/c.dat"), At("real/c.dat"), {"out/chain.dat"}},
      {"to a file not there yet", At("real/new.dat"), At("real/new.dat"), {}},
  };
  fs::create_directories(At("real"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool there = std::string(c.name) != "to a file not there yet";
    if (there) {
      std::ofstream(c.target, std::ios::binary) << "the old bytes";
      fs::permissions(c.target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
    const std::string link = At(std::string("out/") + c.name + ".dat");
    fs::create_directories(At("out"));
    fs::create_symlink(c.link, link);
    std::string written = link;
    for (const std::string& outer : c.chain) {
      fs::create_symlink(link, At(outer));
      written = At(outer);
    }
    const Ran ran = Run({"resave", map, written});
    EXPECT_EQ(ran.status, 0) << ran.err;
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), c.link);
    for (const std::string& outer : c.chain) EXPECT_TRUE(fs::is_symlink(At(outer))) << outer;
    EXPECT_EQ(Slurp(c.target), Slurp(map));
    if (there) {
      EXPECT_EQ(fs::status(c.target).permissions() & fs::perms::mask,
                fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
  }
  // Nothing but the links and the files they name.
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(At("out"))) entries += entry.is_symlink() ? 1 : 100;
  EXPECT_EQ(entries, std::size(cases) + 1);
  entries = 0;
  for (const auto& entry : fs::directory_iterator(At("real"))) entries += entry.is_regular_file() ? 1 : 100;
  EXPECT_EQ(entries, std::size(cases));
  // Links that name each other name no file: refused, both left as they were.
  fs::create_symlink(At("loop/b.dat"), At("loop-a.dat"));
  fs::create_directories(At("loop"));
  fs::create_symlink(At("loop-a.dat"), At("loop/b.dat"));
  const Ran ran = Run({"resave", map, At("loop-a.dat")});
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.err, "resave: " + At("loop-a.dat") + " cannot be written (Too many levels of symbolic links)\n");
  EXPECT_EQ(fs::read_symlink(At("loop-a.dat")), At("loop/b.dat"));
  EXPECT_EQ(fs::read_symlink(At("loop/b.dat")), At("loop-a.dat"));
  EXPECT_EQ(std::distance(fs::directory_iterator(At("loop")), fs::directory_iterator()), 1);
}

}  // namespace

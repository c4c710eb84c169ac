// The command line of the real program: options, a game folder named from
// anywhere, and what a start that fails on its stage file or on a folder
// with no game leaves behind (its box, Report_Game.txt, the standard error),
// also through `pelmora-tool play`.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "app/startup.h"
#include "platform/message_box_view.h"
#include "platform/text.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "run");
    fs::create_directories(elsewhere_);
  }

  // The demo project, written by the tool.
  void MakeDemo() {
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
  }

  // `program` started in `where` with `args`; boxes answered by `answers`
  // and written to a fresh transcript; the game's frame trace (not the
  // tool's: it takes --trace) to trace_.
  GameProcess::Spec Run(const std::string& program, const std::string& where, std::vector<std::string> args,
                        const std::string& answers = "ok") {
    fs::remove(dialogs_);
    fs::remove(trace_);
    return GameProcess::Scripted(program, where, std::move(args), answers, folder_, dialogs_, trace_);
  }

  // `text` (CP932), the message of a failed start, in the transcript (line
  // breaks written "\n") and on the standard error (the lines after the
  // first indented).
  void ExpectToldEverywhere(const GameProcess& game, const std::string& text) {
    std::string escaped, indented;
    for (char c : plat::Cp932ToUtf8(text)) {
      escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
      indented += c == '\n' ? std::string("\n  ") : std::string(1, c);
    }
    EXPECT_NE(Slurp(dialogs_).find("エラー\t" + escaped + "\tok"), std::string::npos) << Slurp(dialogs_);
    EXPECT_NE(game.Err().find("pelmora: " + indented + "\n"), std::string::npos) << game.Err();
  }

  // Until the game has presented `frames` frames (false when it ended or hung first).
  bool WaitForFrames(GameProcess& game, size_t frames) {
    return WaitFor([&] { return game.Ended() || CountLines(Slurp(trace_)) >= frames; }) && !game.Ended();
  }

  TempFolder folder_{"command-line"};
  const std::string project_ = folder_ / "project";
  const std::string elsewhere_ = folder_ / "elsewhere";  // an empty folder to start from
  const std::string dialogs_ = folder_ / "dialogs.log";
  const std::string trace_ = folder_ / "trace.jsonl";
};

// A word that starts with '-' is an option: -h and --help print the usage
// (exit 0), any other is refused with the usage (exit 2), and nothing
// starts, so nothing is written. After "--" such a word is a stage file
// (here, in a folder with no game and naming none, it names nothing: exit 1
// with its message, and nothing written).
TEST_F(CommandLineTest, AWordThatStartsWithADashIsAnOption) {
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* out;  // in the standard output ("" none expected)
    const char* err;  // in the standard error ("" none expected)
    bool started;     // the game started: its log is written
  };
  const Row rows[] = {
      {{"-h"}, 0, "usage: pelmora", "", false},
      {{"--help"}, 0, "usage: pelmora", "", false},
      {{"-v"}, 2, "", "pelmora: unknown option: -v\nusage: pelmora", false},
      {{"-x", "stage.stg4"}, 2, "", "pelmora: unknown option: -x\nusage: pelmora", false},
      {{"stage.stg4", "-"}, 2, "", "pelmora: unknown option: -\nusage: pelmora", false},
      {{"--", "-h"}, 1, "", "pelmora: ゲームフォルダもステージファイルもありません：\n  -h\n", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.front() + (row.args.size() > 1 ? " " + row.args[1] : ""));
    fs::remove(elsewhere_ + "/Report_Game.txt");
    GameProcess game(Run(PELMORA_EXE, elsewhere_, row.args));
    EXPECT_EQ(game.Wait(), row.status);
    if (row.out[0] != '\0') {
      EXPECT_NE(game.Out().find(row.out), std::string::npos) << game.Out();
    } else {
      EXPECT_EQ(game.Out().find("usage"), std::string::npos) << game.Out();
    }
    if (row.err[0] != '\0') {
      EXPECT_NE(game.Err().find(row.err), std::string::npos) << game.Err();
    } else {
      EXPECT_EQ(game.Err(), "");
    }
    EXPECT_EQ(fs::exists(elsewhere_ + "/Report_Game.txt"), row.started);
  }
}

// The words of the command line, and the names in a failed start's reason,
// reach the standard error with their control characters escaped: a word
// holding an escape sequence does not colour or move the terminal.
TEST_F(CommandLineTest, AWordsControlCharactersAreShownEscapedOnTheStandardError) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* err;  // in the standard error
  } rows[] = {
      {{"-\x1b[31m"}, 2, "pelmora: unknown option: -\\x1b[31m\nusage: pelmora"},
      {{"--show-command=\x1b[2J"}, 2, "pelmora: bad show command: --show-command=\\x1b[2J\n"},
      {{"/mistyped/\x1b[31m", "boss"}, 2, "pelmora: no game folder /mistyped/\\x1b[31m\nusage: pelmora"},
      {{"bo\x1b[31mss"}, 1, "pelmora: ゲームフォルダもステージファイルもありません：\n  bo\\x1b[31mss\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.err);
    GameProcess game(Run(PELMORA_EXE, elsewhere_, row.args));
    EXPECT_EQ(game.Wait(), row.status);
    EXPECT_NE(game.Err().find(row.err), std::string::npos) << game.Err();
    EXPECT_EQ(game.Err().find('\x1b'), std::string::npos) << game.Err();
  }
}

// A stage file whose name starts with '-' is played when it comes after
// "--"; without the "--" it is refused as an option.
TEST_F(CommandLineTest, AStageFileNamedLikeAnOptionIsPlayedAfterTheEndOfTheOptions) {
  MakeDemo();
  fs::copy_file(project_ + "/data/stg4/demo.stg4_1", project_ + "/-dash.stg4_1");
  {
    GameProcess game(Run(PELMORA_EXE, project_, {"--", "-dash.stg4_1"}));
    ASSERT_TRUE(WaitForFrames(game, 5)) << game.Err();
    EXPECT_EQ(trace::Value(trace::Lines(Slurp(trace_)).front(), "scene"), "4");
    EXPECT_EQ(game.Terminate(), 0) << game.Err();
  }
  GameProcess refused(Run(PELMORA_EXE, project_, {"-dash.stg4_1"}));
  EXPECT_EQ(refused.Wait(), 2);
  EXPECT_NE(refused.Err().find("unknown option: -dash.stg4_1"), std::string::npos) << refused.Err();
}

// A game folder named on the command line, from another folder (by its full
// path or a relative one), is played as if the game had been started in it:
// its title (or the stage file after it, relative to that folder) comes up,
// and the log is written there, not where the game was started.
TEST_F(CommandLineTest, AGameFolderNamedFromElsewhereIsPlayedThere) {
  MakeDemo();
  struct Row {
    std::vector<std::string> args;
    const char* scene;  // of the first frame
  };
  const Row rows[] = {
      {{project_}, "0"},
      {{"../project"}, "0"},
      {{project_, "data\\stg4\\demo.stg4_1"}, "4"},
      {{"--show-command=1", "../project", "data\\stg4\\demo.stg4_1"}, "4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.front());
    fs::remove(project_ + "/Report_Game.txt");
    GameProcess game(Run(PELMORA_EXE, elsewhere_, row.args));
    ASSERT_TRUE(WaitForFrames(game, 10)) << game.Err();
    EXPECT_EQ(trace::Value(trace::Lines(Slurp(trace_)).front(), "scene"), row.scene);
    EXPECT_EQ(game.Terminate(), 0) << game.Err();
    EXPECT_EQ(Slurp(project_ + "/Report_Game.txt").rfind("App : ver 873\n", 0), 0u);
    EXPECT_TRUE(fs::is_empty(elsewhere_)) << "the game wrote where it was started";
  }
}

// A folder with no game in it, started in: the message names the folder
// (its whole path, Japanese names included), in the box and on the standard
// error; exit 1; the log is written in the folder. So it is when the word
// on the command line names a stage file (the game's own, from elsewhere):
// there is no game here to test-play it in.
TEST_F(CommandLineTest, AFolderWithNoGameSaysSoNamingTheFolder) {
  MakeDemo();
  struct Row {
    std::string folder;
    std::vector<std::string> args;
  };
  const Row rows[] = {
      {folder_ / "started in it", {}},
      {folder_ / "ゲームのない場所", {}},
      {folder_ / "a stage named", {project_ + "/data/stg4/c01-1.stg4_001"}},
      {folder_ / "a stage named by its name", {project_ + "/data/stg4/c01-1.stg4"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    fs::create_directories(row.folder);
    GameProcess game(Run(PELMORA_EXE, row.folder, row.args));
    EXPECT_EQ(game.Wait(), 1);
    const std::string text = NoGameHereText(plat::Utf8ToCp932(row.folder));
    ASSERT_EQ(plat::Cp932ToUtf8(text).rfind("このフォルダにゲームがありません：\n" + row.folder.substr(0, 10), 0), 0u);
    ExpectToldEverywhere(game, text);
    EXPECT_NE(Slurp(row.folder + "/Report_Game.txt").find(plat::Cp932ToUtf8(text) + "\n"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(elsewhere_));
  }
}

// A first word that is not a folder holding a game is the stage file. From
// a folder with no game, one that is no stage file either (a mistyped game
// folder, a folder with no game, a word that names nothing here) names
// nothing: the message names the word as typed and the folder started in,
// in the box and on the standard error; exit 1; nothing is written, neither
// where the game was started nor in the folder named. Two words whose first
// is no game folder, or three, are refused with the usage (exit 2), also
// before anything is written.
TEST_F(CommandLineTest, AWordThatNamesNothingIsNamedInTheMessage) {
  const std::string noGame = folder_ / "no game here";
  fs::create_directories(noGame);
  const std::string aGame = folder_ / "a game";  // by its "default\" folder
  fs::create_directories(aGame + "/default");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string err;  // the refusal's first line, for exit 2
  };
  const Row rows[] = {
      {{"/mistyped/game"}, 1, ""},
      {{noGame}, 1, ""},
      {{folder_ / "ゲームのない場所"}, 1, ""},
      {{"../no game here"}, 1, ""},
      {{"boss"}, 1, ""},
      {{"/mistyped/game", "boss"}, 2, "pelmora: no game folder /mistyped/game\nusage: pelmora"},
      {{noGame, "boss"}, 2, "pelmora: the game folder " + noGame + " holds no game (neither data nor default)\n"},
      {{aGame, "boss", "boss"}, 2, "pelmora: more than one stage file given\nusage: pelmora"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.front());
    GameProcess game(Run(PELMORA_EXE, elsewhere_, row.args));
    EXPECT_EQ(game.Wait(), row.status);
    if (row.status == 1) {
      const std::string text = NothingToPlayText(plat::Utf8ToCp932(row.args.front()), plat::Utf8ToCp932(elsewhere_));
      ASSERT_EQ(plat::Cp932ToUtf8(text).rfind("ゲームフォルダもステージファイルもありません：\n" + row.args.front().substr(0, 4), 0),
                0u);
      ExpectToldEverywhere(game, text);
    } else {
      EXPECT_EQ(game.Err().rfind(row.err, 0), 0u) << game.Err();
      EXPECT_EQ(Slurp(dialogs_), "");
    }
    EXPECT_TRUE(fs::is_empty(elsewhere_));
    EXPECT_TRUE(fs::is_empty(noGame));
    EXPECT_FALSE(fs::exists(aGame + "/Report_Game.txt"));
  }
}

// In a game's folder, a word that names no stage file is noted in the log,
// and the title comes first, as without it.
TEST_F(CommandLineTest, InAGamesFolderAMissingStageFileIsLoggedAndTheTitleComes) {
  MakeDemo();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/mistyped/game"}, std::vector<std::string>{project_, "/mistyped/game"}}) {
    SCOPED_TRACE(args.size());
    GameProcess game(Run(PELMORA_EXE, args.size() == 1 ? project_ : elsewhere_, args));
    ASSERT_TRUE(WaitForFrames(game, 5)) << game.Err();
    EXPECT_EQ(trace::Value(trace::Lines(Slurp(trace_)).front(), "scene"), "0");
    EXPECT_EQ(game.Terminate(), 0) << game.Err();
    EXPECT_NE(Slurp(project_ + "/Report_Game.txt").find("\n「/mistyped/game」の読み込みに失敗しました！\n"), std::string::npos);
    EXPECT_EQ(Slurp(dialogs_), "");
    EXPECT_TRUE(fs::is_empty(elsewhere_));
  }
}

// A stage named beside a folder of the same name: `pelmora boss` in a game's
// folder that holds the stage file boss_001 and a folder "boss" with no game
// in it test-plays boss_001, whether the game was started there or named
// from elsewhere. A folder "boss" that holds a game (here a "default\" to
// make its data from, which the player declines) is the game's folder: the
// game runs in it.
TEST_F(CommandLineTest, AStageNamedBesideAFolderOfTheSameNameIsPlayed) {
  MakeDemo();
  fs::copy_file(project_ + "/data/stg4/c01-1.stg4_001", project_ + "/boss_001");
  fs::create_directories(project_ + "/boss/notes");
  const struct {
    const char* where;  // "project", or elsewhere
    std::vector<std::string> args;
  } rows[] = {
      {"project", {"boss"}},
      {"elsewhere", {project_, "boss"}},
      {"elsewhere", {"../project", "boss"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.front());
    fs::remove(project_ + "/Report_Game.txt");
    GameProcess game(Run(PELMORA_EXE, row.where == std::string("project") ? project_ : elsewhere_, row.args));
    ASSERT_TRUE(WaitForFrames(game, 5)) << game.Err();
    EXPECT_EQ(trace::Value(trace::Lines(Slurp(trace_)).front(), "scene"), "4");
    EXPECT_EQ(game.Terminate(), 0) << game.Err();
    EXPECT_EQ(Slurp(project_ + "/Report_Game.txt").rfind("App : ver 873\n", 0), 0u);
    EXPECT_EQ(Slurp(project_ + "/Report_Game.txt").find("boss」の読み込みに失敗"), std::string::npos);
    EXPECT_FALSE(fs::exists(project_ + "/boss/Report_Game.txt"));
  }

  fs::create_directories(project_ + "/boss/default");
  GameProcess game(Run(PELMORA_EXE, project_, {"boss"}, "no;ok"));
  ASSERT_TRUE(WaitFor([&] { return game.Ended() || !Slurp(trace_).empty(); }));
  EXPECT_EQ(Slurp(trace_), "") << "the stage was played";
  EXPECT_EQ(game.Terminate(), 1);
  EXPECT_NE(Slurp(project_ + "/boss/Report_Game.txt").find("「data」フォルダの作成に失敗"), std::string::npos);
}

// The message's lines are the game's own: the box wraps none of them again
// (it would break a folder's name, or a word, wherever its width ran out),
// nor those of the message of a word that names nothing.
// A folder's path is cut after its "/"s, and only a name longer than a
// line is cut inside. The box with the message is as high as one with the
// same number of one-letter lines.
TEST_F(CommandLineTest, TheBoxBreaksNoLineOfTheNoGameMessage) {
  const std::string longName(80, 'a');
  const std::string folders[] = {
      "/tmp/game",
      "/home/player/games/an action game made with the editor/version two/final/data folders/copy",
      "/home/プレイヤー/ゲーム/アクションゲーム作成ツールで作ったゲーム/最終版のゲームのフォルダ",
      "/srv/" + longName + "/x",
      "/media/player/USB stick/ゲーム フォルダ/My Game (2nd edition)/build 7/release candidate/",
  };
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    const std::string text = plat::Cp932ToUtf8(NoGameHereText(plat::Utf8ToCp932(folder)));
    std::vector<std::string> lines;
    for (size_t at = 0;;) {
      const size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      if (end == std::string::npos) break;
      at = end + 1;
    }
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines.front(), "このフォルダにゲームがありません：");
    std::string named;
    for (size_t i = 1; i + 3 < lines.size(); ++i) {
      named += lines[i];
      // Every folder line but the last ends at a "/" (no name here is
      // longer than a line but the one made so).
      if (i + 4 < lines.size() && folder.find(longName) == std::string::npos) {
        EXPECT_EQ(lines[i].back(), '/') << lines[i];
      }
    }
    EXPECT_EQ(named, folder) << "the folder, whole and in order";

    plat::MessageBoxSpec message;
    message.utf8Title = "エラー";
    message.utf8Text = text;
    plat::MessageBoxSpec sameLines = message;
    sameLines.utf8Text = "x";
    for (size_t i = 1; i < lines.size(); ++i) sameLines.utf8Text += "\nx";
    EXPECT_EQ(plat::MessageBoxView(message).PreferredHeight(), plat::MessageBoxView(sameLines).PreferredHeight())
        << text;

    // The message of a word that names nothing, the folder named as the
    // word and as the folder started in, is broken the same way.
    message.utf8Text = plat::Cp932ToUtf8(NothingToPlayText(plat::Utf8ToCp932(folder), plat::Utf8ToCp932(folder)));
    sameLines.utf8Text = "x";
    for (char c : message.utf8Text) sameLines.utf8Text += c == '\n' ? "\nx" : "";
    EXPECT_EQ(plat::MessageBoxView(message).PreferredHeight(), plat::MessageBoxView(sameLines).PreferredHeight())
        << message.utf8Text;
  }
}

// Whatever makes the start fail, its reason (the box's text) is in
// Report_Game.txt once, whether its box was shown with a log line or alone,
// and on the standard error.
TEST_F(CommandLineTest, AFailedStartsReasonIsInTheLogOnceAndOnTheStandardError) {
  MakeDemo();
  const std::string ini = Slurp(project_ + "/System.ini");
  const std::string title = Slurp(project_ + "/bmp/Title.bmp");
  const std::string map = Slurp(project_ + "/data/WorldMap.dat");
  const struct {
    const char* what;
    const char* file;  // in the project, given `bytes`
    std::string bytes;
    const char* reason;
  } rows[] = {
      {"a damaged title picture", "bmp/Title.bmp", "BM not a picture", "bmp\\Title.bmp の読み込みに失敗！"},
      {"a display that cannot be set up", "System.ini", "Direct3D=1\nBpp=8\nWindowMode=1\nExit\n",
       "画面モードが不正です！\nSystem.iniと画面の設定を見直して下さい！"},
      {"a missing world map", "data/WorldMap.dat", "", "data\\WorldMap.dat のロードに失敗！"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string file = project_ + "/" + row.file;
    const std::string kept = Slurp(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << row.bytes;
    GameProcess game(Run(PELMORA_EXE, project_, {}));
    EXPECT_EQ(game.Wait(), 1);
    const std::string log = Slurp(project_ + "/Report_Game.txt");
    const size_t at = log.find(std::string("\n") + row.reason + "\n");
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(row.reason, at + 2), std::string::npos) << "written once";
    std::string told = row.reason;
    for (size_t n = told.find('\n'); n != std::string::npos; n = told.find('\n', n + 3)) told.replace(n, 1, "\n  ");
    EXPECT_NE(game.Err().find("pelmora: " + told + "\n"), std::string::npos) << game.Err();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << kept;
  }
  EXPECT_EQ(Slurp(project_ + "/System.ini"), ini);
  EXPECT_EQ(Slurp(project_ + "/bmp/Title.bmp"), title);
  EXPECT_EQ(Slurp(project_ + "/data/WorldMap.dat"), map);
}

// A stage file that cannot be played, named on the command line: garbage,
// cut short, empty, a folder, a stage larger than the game lays out, or a
// file of another kind. The start fails (exit 1) after the stage's message,
// which names the file and is written to Report_Game.txt and the standard
// error as well as shown; a scripted play says it from the log. Why the
// game would not lay a stage out comes in the log before it.
TEST_F(CommandLineTest, ABrokenStageFileIsToldInTheLogAndOnTheStandardError) {
  MakeDemo();
  const std::string stage = Slurp(project_ + "/data/stg4/demo.stg4_1");
  ASSERT_GT(stage.size(), 300u);
  std::string garbage;
  for (uint32_t x = 12345, i = 0; i < 1000; ++i) {
    x = x * 1103515245u + 12345u;
    garbage += static_cast<char>(x >> 24);
  }
  const std::string broken = "data\\stg4\\broken.stg4_1";
  // The demo stage with a field's word replaced: bytes 8..11 hold the
  // width, 20..23 the height.
  const auto withWord = [&](size_t at, uint32_t word) {
    std::string bytes = stage;
    std::memcpy(bytes.data() + at, &word, 4);
    return bytes;
  };
  struct Row {
    const char* what;
    std::string file;   // as named on the command line
    std::string bytes;  // the broken stage's, when `file` names it ("/": a folder is made instead)
    const char* ending;
    const char* why = nullptr;  // the set-up's reason, logged before the message
  };
  const Row rows[] = {
      {"garbage", broken, garbage, " の読み込みに失敗しました！"},
      {"cut short", broken, stage.substr(0, 300), " が破損しています！"},
      {"empty", broken, "", " の読み込みに失敗しました！"},
      {"wider than any stage", broken, withWord(8, 0x7fffffff), " の読み込みに失敗しました！",
       "its width (2147483647 blocks) is not 1 to 32768"},
      {"higher than any stage", broken, withWord(20, 0x7fffffff), " の読み込みに失敗しました！",
       "its height (2147483647 blocks) is not 1 to 32768"},
      {"a folder", broken, "/", " の読み込みに失敗しました！"},
      {"the world map", "data\\WorldMap.dat", "", " が破損しています！"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path = project_ + "/data/stg4/broken.stg4_1";
    fs::remove_all(path);
    if (row.bytes == "/")
      fs::create_directory(path);
    else if (row.file == broken)
      std::ofstream(path, std::ios::binary) << row.bytes;
    const std::string message = "ステージファイル " + row.file + row.ending;

    GameProcess game(Run(PELMORA_EXE, project_, {row.file}, "ok;ok"));
    EXPECT_EQ(game.Wait(), 1);
    EXPECT_NE(Slurp(dialogs_).find("エラー\t" + message + "\tok"), std::string::npos) << Slurp(dialogs_);
    const std::string log = Slurp(project_ + "/Report_Game.txt");
    const size_t at = log.find("\n" + message + "\n");
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(message, at + 2), std::string::npos) << "written once";
    const std::string reason = row.file + " : the stage cannot be played: " + (row.why ? row.why : "");
    EXPECT_EQ(log.find(reason) < at, row.why != nullptr) << log;
    EXPECT_NE(game.Err().find("pelmora: " + message + "\n"), std::string::npos) << game.Err();
    EXPECT_EQ(Slurp(trace_), "") << "no frame";

    GameProcess tool(Run(PELMORA_TOOL, folder_.Path(), {"play", project_, row.file, "--frames", "10"}, "ok;ok"));
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_NE(tool.Err().find("play: Report_Game.txt: " + message + "\n"), std::string::npos) << tool.Err();
    if (row.why) {
      EXPECT_NE(tool.Err().find("play: Report_Game.txt: " + reason + "\n"), std::string::npos) << tool.Err();
    }
    EXPECT_NE(tool.Err().find("the game did not start"), std::string::npos) << tool.Err();
  }
}

// A file-size limit (ulimit -f) that the game's writes reach: past it a
// write fails as on a full disk, and the game plays on; the limit does not
// end it. With one block (512 bytes in dash, 1 KiB in bash) the log stops
// within start-up's lines and the frame trace within its first frame; the
// game comes to its title and ends in order at SIGTERM.
TEST_F(CommandLineTest, AFileSizeLimitIsAFailedWriteNotTheEnd) {
  MakeDemo();
  // The child takes its signals' dispositions from this process: the
  // signal's own, here, so that only the game can set it aside.
  struct sigaction previous {};
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ASSERT_EQ(sigaction(SIGXFSZ, &byDefault, &previous), 0);
  GameProcess::Spec spec = Run("/bin/sh", project_, {"-c", "ulimit -f 1 && exec \"$0\"", PELMORA_EXE});
  spec.env.push_back("PELMORA_TRACE=" + trace_);
  GameProcess game(spec);
  const bool presented = WaitFor([&] { return game.Ended() || !Slurp(trace_).empty(); });
  sigaction(SIGXFSZ, &previous, nullptr);
  ASSERT_TRUE(presented);
  EXPECT_FALSE(game.Ended()) << "ended before its first frame";
  EXPECT_EQ(game.Terminate(), 0) << game.Err();
  const size_t logged = Slurp(project_ + "/Report_Game.txt").size();
  EXPECT_TRUE(logged == 512 || logged == 1024) << logged << " bytes: the log was cut at the limit";
  EXPECT_EQ(Slurp(project_ + "/Report_Game.txt").rfind("App : ver 873\n", 0), 0u);
}

}  // namespace

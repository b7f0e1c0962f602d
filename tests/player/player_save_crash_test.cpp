// End-to-end safety of saves: the player, headless, runs a game saving at full speed and is
// killed at random moments; everything the game reported saved must be there on restart, and
// the save database must stay sound. Saves that fail are said, and the game learns it.
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "QzTable.h"
#include "player_fixture.h"

namespace {

const std::string kGame = std::string(QZ_SOURCE_DIR) + "/tests/player/save_storm.lua";

// Starts the player headless on the bundle, with the scratch folder as data and cache home,
// and returns its pid, with its standard output readable from `*output`.
pid_t startGame(const ScratchFolder& scratch, const std::string& bundle, const char* frames, int* output) {
    const std::string dataHome = "XDG_DATA_HOME=" + scratch.file("data");
    const std::string cacheHome = "XDG_CACHE_HOME=" + scratch.file("cache");
    std::vector<char*> environment = {const_cast<char*>(dataHome.c_str()), const_cast<char*>(cacheHome.c_str())};
    for (char** variable = environ; *variable; ++variable) {
        if (!std::string(*variable).starts_with("XDG_")) environment.push_back(*variable);
    }
    environment.push_back(nullptr);
    const char* arguments[] = {kPlayer.c_str(), "--headless", "--frames", frames, bundle.c_str(), nullptr};
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execve(kPlayer.c_str(), const_cast<char* const*>(arguments), environment.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    *output = pipeEnds[0];
    return pid;
}

// Reads the descriptor until its end; only complete lines count as reported.
std::vector<std::string> readLines(int fd, bool waitForFirstLine) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(n));
        if (waitForFirstLine && text.find("\nvalue ") != std::string::npos) break;
    }
    std::vector<std::string> lines;
    std::istringstream in(text.substr(0, text.rfind('\n') + 1));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Reported {
    std::map<std::string, std::string> values;
    std::string lastValue;  // the value of the last save reported
    std::string lastTable;  // the value in the last table save reported
    std::string resumedAt;  // what the last start found under "latest"
};

void collect(const std::vector<std::string>& lines, Reported* reported) {
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string kind, first, second;
        words >> kind >> first >> second;
        if (kind == "value") {
            reported->values[first] = second;
            reported->lastValue = second;
        }
        if (kind == "table") reported->lastTable = first;
        if (kind == "resumed") reported->resumedAt = second;
    }
}

std::string queryText(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    std::string result = "<no row>";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(statement, 0);
        result = text ? reinterpret_cast<const char*>(text) : "<null>";
    }
    sqlite3_finalize(statement);
    return result;
}

std::map<std::string, std::string> storedValues(sqlite3* db) {
    std::map<std::string, std::string> values;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT key, value FROM savedValues", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto* value = sqlite3_column_text(statement, 1);
        values[reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))] =
            value ? reinterpret_cast<const char*>(value) : "";
    }
    sqlite3_finalize(statement);
    return values;
}

// "run.saves" as a pair, for comparing two saves of the game in the order it made them.
std::pair<long, long> saveOrder(const std::string& value) {
    const size_t dot = value.find('.');
    if (dot == std::string::npos) return {-1, -1};
    return {std::stol(value.substr(0, dot)), std::stol(value.substr(dot + 1))};
}

TEST(SaveCrashSafety, EverySaveReportedBeforeAKillSurvivesIt) {
    ScratchFolder scratch;
    const std::string bundle = makeBundle(scratch, {.game = readFile(kGame)});
    const std::string save = scratch.file("data") + "/Probe/save.data";
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> killAfterMs(5, 300);
    Reported reported;
    for (int repetition = 0; repetition < 20; ++repetition) {
        SCOPED_TRACE("repetition " + std::to_string(repetition));
        int output = -1;
        const pid_t pid = startGame(scratch, bundle, "100000000", &output);
        ASSERT_GT(pid, 0);
        std::vector<std::string> lines = readLines(output, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs(random)));
        kill(pid, SIGKILL);
        const std::vector<std::string> rest = readLines(output, false);
        close(output);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the game ended before the kill";
        lines.insert(lines.end(), rest.begin(), rest.end());
        collect(lines, &reported);

        const std::string lastBeforeKill = reported.lastValue;
        const pid_t restarted = startGame(scratch, bundle, "1", &output);
        const std::vector<std::string> resumed = readLines(output, false);
        close(output);
        waitpid(restarted, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the restarted game failed";
        collect(resumed, &reported);
        EXPECT_GE(saveOrder(reported.resumedAt), saveOrder(lastBeforeKill))
            << "the restarted game's latest save is older than the last one reported";

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2((save + "persistent.save").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        EXPECT_EQ(queryText(db, "PRAGMA integrity_check"), "ok");
        const std::map<std::string, std::string> stored = storedValues(db);
        sqlite3_close(db);
        int missing = 0;
        for (const auto& [key, value] : reported.values) {
            const auto found = stored.find(key);
            if (found == stored.end() || found->second != value) ++missing;
        }
        EXPECT_EQ(missing, 0) << "of " << reported.values.size() << " reported saves";

        QzTable progress;
        ASSERT_TRUE(progress.loadTable(save + "progress.xml")) << "the saved table is damaged";
        EXPECT_GE(saveOrder(progress.cellValue(0, 0)), saveOrder(reported.lastTable));
    }
}

}  // namespace

// The guarded project's saver saves 40 values of 20 000 bytes, then, run again, reads them.
TEST(SaveFailures, AFailingStoreIsSaidOnceTheGameLearnsItAndKeptValuesStayReadable) {
    const struct {
        const char* name;
        bool smallDisk;  // else a damaged save file
        const char* advice;
    } cases[] = {{"a full disk", true, "free some disk space"}, {"a damaged save file", false, "the file is damaged"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.smallDisk && geteuid() != 0) {
            std::printf("%s: not tested (mounting a small filesystem needs root)\n", c.name);
            continue;
        }
        ScratchFolder scratch;
        const std::string bundle = makeBundle(scratch, {}, "saves");
        const std::string data = scratch.file("data"), store = data + "/Probe/save.datapersistent.save";
        std::filesystem::create_directories(data + "/Probe");
        if (c.smallDisk) ASSERT_EQ(mount("tmpfs", data.c_str(), "tmpfs", 0, "size=600k"), 0) << std::strerror(errno);
        else writeFile(store, std::string(8192, 'd'));
        const PlayerRun saving = runPlayer(scratch, "--headless --frames 45 " + bundle);
        const PlayerRun reading = runPlayer(scratch, "--headless --frames 45 " + bundle);
        umount(data.c_str());
        EXPECT_EQ(countOf(saving.output, "cannot be saved in " + store), 1) << saving.output;
        EXPECT_NE(saving.output.find(c.advice), std::string::npos) << saving.output;
        int kept = 0;
        for (int value = 1; value <= 40; ++value) {
            const std::string number = std::to_string(value);
            if (saving.output.find("saved " + number + " true\n") == std::string::npos) {
                EXPECT_NE(saving.output.find("saved " + number + " false\n"), std::string::npos) << saving.output;
                continue;
            }
            ++kept;
            EXPECT_NE(reading.output.find("read " + number + " true\n"), std::string::npos) << reading.output;
        }
        EXPECT_EQ(kept > 0, c.smallDisk) << saving.output;
        EXPECT_LT(kept, 40) << saving.output;
    }
}

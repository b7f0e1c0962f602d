// Tests of the persistent store: lazy creation, one row per key, awkward data, bad files, kills.
#include <csignal>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "QzDatabase.h"
#include "test_files.h"

namespace {

int countRows(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    int rows = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM savedValues", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        rows = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

std::string load(QzDatabase* store, const std::string& key) {
    std::string value;
    return QzDatabaseLoadValue(store, key, &value) ? value : "<none>";
}

// The file appears with the first store, holds one row per key, and keeps its values after
// closing; a stored null reads as nothing. Keys and values may hold quotes, any byte and long
// texts.
TEST(Database, StoresOneRowPerKeyInAFileMadeByTheFirstStore) {
    ScratchFolder folder;
    const std::string path = folder.file("persistent.save");
    QzDatabase* store = QzDatabaseOpen(path.c_str());
    EXPECT_EQ(load(store, "score"), "<none>");
    EXPECT_FALSE(std::filesystem::exists(path));
    std::string binary;
    for (int i = 1; i < 256; ++i) binary.push_back(static_cast<char>(i));
    const std::string five = "5", six = "6", quoted = "it's \"quoted\"; DROP TABLE savedValues; --";
    const std::string longText(10 * 1024, 'x');
    for (const auto& [key, value] : {std::pair{"score", &five}, {"score", &six}, {"flag", &five}, {"flag", nullptr}})
        EXPECT_TRUE(QzDatabaseStoreValue(store, key, value)) << key;
    EXPECT_TRUE(QzDatabaseStoreValue(store, quoted, &binary));
    EXPECT_TRUE(QzDatabaseStoreValue(store, binary, &quoted));
    EXPECT_TRUE(QzDatabaseStoreValue(store, longText, &longText));
    QzDatabaseClose(store);
    EXPECT_EQ(countRows(path), 5);

    store = QzDatabaseOpen(path.c_str());
    EXPECT_EQ(load(store, "score"), "6");
    EXPECT_EQ(load(store, "flag"), "<none>");
    EXPECT_EQ(load(store, quoted), binary);
    EXPECT_EQ(load(store, binary), quoted);
    EXPECT_EQ(load(store, longText), longText);
    QzDatabaseClose(store);
}

// A file that is not a database is left alone; a missing or unusable folder makes stores
// fail quietly. Both read as empty.
TEST(Database, UnusableFilesAndFoldersReadAsEmptyAndAreLeftAlone) {
    ScratchFolder folder;
    const std::string garbage(4096, '\x5a'), value = "1";
    writeFile(folder.file("persistent.save"), garbage);
    writeFile(folder.file("plainfile"), "x");
    for (const std::string& path : {folder.file("persistent.save"), folder.file("missing/persistent.save"),
                                    folder.file("plainfile/persistent.save")}) {
        QzDatabase* store = QzDatabaseOpen(path.c_str());
        EXPECT_EQ(load(store, "key"), "<none>") << path;
        EXPECT_FALSE(QzDatabaseStoreValue(store, "key", &value)) << path;
        QzDatabaseClose(store);
    }
    EXPECT_EQ(readFile(folder.file("persistent.save")), garbage);
}

// A child process stores values one by one and reports each store that returned; it is
// killed mid-stream. Every value it reported must be in the file.
TEST(Database, AValueWhoseStoreReturnedSurvivesAKill) {
    ScratchFolder folder;
    const std::string path = folder.file("persistent.save");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QzDatabase* store = QzDatabaseOpen(path.c_str());
        for (int i = 0;; ++i) {
            const std::string value = "value-" + std::to_string(i);
            if (!QzDatabaseStoreValue(store, "key-" + std::to_string(i % 500), &value)) _exit(3);
            if (write(fds[1], &i, sizeof i) != sizeof i) _exit(4);
        }
    }
    close(fds[1]);
    int last = -1, next = 0;
    for (int received = 0; received < 1500 && read(fds[0], &last, sizeof last) == sizeof last;) ++received;
    kill(child, SIGKILL);
    while (read(fds[0], &next, sizeof next) == sizeof next) last = next;  // reported before it died
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself with status " << status;
    ASSERT_GE(last, 1499);
    QzDatabase* store = QzDatabaseOpen(path.c_str());
    // A store that finished but was not yet reported may have overwritten the oldest key.
    for (int i = last; i > last - 499; --i)
        EXPECT_EQ(load(store, "key-" + std::to_string(i % 500)), "value-" + std::to_string(i));
    QzDatabaseClose(store);
}

}  // namespace

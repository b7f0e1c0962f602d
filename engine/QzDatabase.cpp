// The persistent key-value store on SQLite: lazily opened connection, one row per key.
#include "QzDatabase.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS savedValues (key char(32) primary key, value char(32))";

char* copyString(const char* text) {
    return text ? strdup(text) : nullptr;
}

void finalizeStatements(QzDatabase* store) {
    sqlite3_finalize(store->selectValue);
    sqlite3_finalize(store->insertValue);
    sqlite3_finalize(store->updateValue);
    store->selectValue = store->insertValue = store->updateValue = nullptr;
}

// What the player can do about a failure, by SQLite's primary result code.
const char* adviceFor(int primaryCode) {
    switch (primaryCode) {
    case SQLITE_FULL:
        return "free some disk space; until then what the game saves is lost";
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "make the file and its folder writable by you";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "the file is damaged: move it away and the game starts again without saved values";
    default:
        return "check the disk that holds it";
    }
}

// Says on standard error why the store failed, with the file and what to do: once per
// reason, so a game saving every frame does not flood the output.
void reportFailure(QzDatabase* store, int code) {
    const int primary = code & 0xff;
    const uint32_t bit = 1u << (primary & 31);
    if (store->reportedFailures & bit) return;
    store->reportedFailures |= bit;
    const char* detail = store->connection ? sqlite3_errmsg(store->connection) : sqlite3_errstr(code);
    std::fprintf(stderr, "Quillane Player: the game's values cannot be saved in %s (%s): %s\n", store->path, detail,
                 adviceFor(primary));
}

// Opens the connection and makes sure the table exists. A write-ahead journal keeps a
// store to a single append, so saving stays fast, and a value whose store returned is in
// the file even if the process is killed right after.
bool openConnection(QzDatabase* store) {
    if (store->connection) return true;
    sqlite3* db = nullptr;
    if (const int code = sqlite3_open(store->path, &db); code != SQLITE_OK) {
        sqlite3_close(db);
        reportFailure(store, code);
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    if (!store->rollbackJournal) {
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, kCreateTable, nullptr, nullptr, nullptr);
    store->connection = db;
    const bool prepared =
        sqlite3_prepare_v2(db, "SELECT value from savedValues WHERE key=?1", -1, &store->selectValue,
                           nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "INSERT INTO savedValues (key, value) VALUES (?1, ?2)", -1,
                           &store->insertValue, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "UPDATE savedValues SET value=?2 WHERE key=?1", -1,
                           &store->updateValue, nullptr) == SQLITE_OK;
    if (!prepared) {
        // Not a database, or unreadable: forget the connection so a later call tries again.
        reportFailure(store, sqlite3_errcode(db));
        finalizeStatements(store);
        sqlite3_close(db);
        store->connection = nullptr;
        return false;
    }
    return true;
}

void bindText(sqlite3_stmt* statement, int index, const std::string* text) {
    if (text) sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    else sqlite3_bind_null(statement, index);
}

// Steps a bound statement to its end and resets it; true when it finished without error
// (a failure is reported).
bool runToEnd(QzDatabase* store, sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) reportFailure(store, rc);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc == SQLITE_DONE;
}

bool storeValue(QzDatabase* store, const std::string& key, const std::string* value) {
    if (!openConnection(store)) return false;
    sqlite3_stmt* select = store->selectValue;
    bindText(select, 1, &key);
    const int rc = sqlite3_step(select);
    const bool exists = rc == SQLITE_ROW;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) reportFailure(store, rc);
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;

    sqlite3_stmt* write = exists ? store->updateValue : store->insertValue;
    bindText(write, 1, &key);
    bindText(write, 2, value);
    return runToEnd(store, write);
}

}  // namespace

QzDatabase* QzDatabaseOpen(const char* path) {
    auto* store = static_cast<QzDatabase*>(std::calloc(1, sizeof(QzDatabase)));
    store->path = copyString(path);
    store->lastStoreSucceeded = true;
    return store;
}

QzDatabase* QzDatabaseOpenWithRollbackJournal(const char* path) {
    QzDatabase* store = QzDatabaseOpen(path);
    store->rollbackJournal = true;
    return store;
}

const char* QzDatabaseSetTablesDirectory(QzDatabase* store, const char* directory) {
    std::free(store->tablesDirectory);
    store->tablesDirectory = copyString(directory);
    return store->tablesDirectory;
}

void QzDatabaseClose(QzDatabase* store) {
    if (!store) return;
    if (store->scriptHandle) *store->scriptHandle = nullptr;
    finalizeStatements(store);
    if (store->connection) sqlite3_close(store->connection);
    std::free(store->path);
    std::free(store->tablesDirectory);
    std::free(store);
}

bool QzDatabaseLoadValue(QzDatabase* store, const std::string& key, std::string* value) {
    if (!store->connection) {
        // A load before anything was ever stored must not leave a database file behind.
        if (access(store->path, R_OK | W_OK) != 0) return false;
        if (!openConnection(store)) return false;
    }
    sqlite3_stmt* select = store->selectValue;
    bindText(select, 1, &key);
    bool found = false;
    const int rc = sqlite3_step(select);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) reportFailure(store, rc);
    if (rc == SQLITE_ROW && sqlite3_column_type(select, 0) != SQLITE_NULL) {
        const auto* text = static_cast<const char*>(sqlite3_column_blob(select, 0));
        const int length = sqlite3_column_bytes(select, 0);
        value->assign(text ? text : "", static_cast<size_t>(length));
        found = true;
    }
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
    return found;
}

bool QzDatabaseStoreValue(QzDatabase* store, const std::string& key, const std::string* value) {
    store->lastStoreSucceeded = storeValue(store, key, value);
    return store->lastStoreSucceeded;
}

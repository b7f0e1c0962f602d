// The persistent key-value store: one SQLite table of saved values, opened on first use.
#ifndef QZ_DATABASE_H
#define QZ_DATABASE_H

#include <cstdint>
#include <string>

#include <lua.h>

struct sqlite3;
struct sqlite3_stmt;

// Owned by the engine state. The connection is opened by the first load that finds an
// existing file, or by the first store.
struct QzDatabase {
    char* path;                 // owned copy of the database file path
    char* tablesDirectory;      // owned copy; null until QzDatabaseSetTablesDirectory
    sqlite3* connection;        // owned; null until first needed
    sqlite3_stmt* selectValue;  // owned; prepared with the connection
    sqlite3_stmt* insertValue;
    sqlite3_stmt* updateValue;
    // False for the write-ahead journal the store normally uses, true for SQLite's default
    // rollback journal with full synchronisation (kept for comparison in the benchmark).
    bool rollbackJournal;
    // Borrowed: the slot in the script library's upvalue that points back at this record.
    // Closing the store clears it, so script calls made afterwards find no store.
    QzDatabase** scriptHandle;
    // Whether the last store kept its value; true until a store fails.
    bool lastStoreSucceeded;
    // One bit per SQLite primary result code already reported, so each reason is said once.
    uint32_t reportedFailures;
};

QzDatabase* QzDatabaseOpen(const char* path);
// The same with SQLite's default rollback journal instead of the write-ahead journal.
QzDatabase* QzDatabaseOpenWithRollbackJournal(const char* path);
const char* QzDatabaseSetTablesDirectory(QzDatabase* store, const char* directory);
void QzDatabaseClose(QzDatabase* store);

// Registers the script library `database` on the interpreter.
void QzDatabaseLoadLib(QzDatabase* store, lua_State* L);

// The native operations behind the script library.

// Reads the value stored under key into value. False when there is none, when the file does
// not exist yet (nothing is created) or when SQLite fails (said as for a store). A stored NULL
// reads as false too.
bool QzDatabaseLoadValue(QzDatabase* store, const std::string& key, std::string* value);
// Stores value under key (one row per key); a null value stores SQL NULL. False on failure,
// which is said on standard error once per reason, with the file and what to do. The values
// stored before stay readable.
bool QzDatabaseStoreValue(QzDatabase* store, const std::string& key, const std::string* value);

#endif

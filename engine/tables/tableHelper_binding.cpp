// The script library `tableHelper`: table objects for scripts, typed cells, rows, files.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <strings.h>

#include <lauxlib.h>
#include <lua.h>

#include "QzLuaArgs.h"
#include "QzLuaGuard.h"
#include "QzTable.h"
#include "QzTableHelper.h"

namespace {

constexpr const char* kTableMetatable = "tableHelper.TableDataMT";
// Longest path (in bytes) that saveTableToDatabase and loadTableFromDatabase will join.
constexpr size_t kMaxJoinedPath = 1023;

// Every function takes a fixed number of arguments and counts them back from the last one
// (QzArgsFromTop), so `t:getValue(r, c)` and `tableHelper.Tables.getValue(t, r, c)` agree.

QzTable*& tableSlot(lua_State* L, int index) {
    return *static_cast<QzTable**>(luaL_checkudata(L, index, kTableMetatable));
}

QzTable& checkTable(lua_State* L, int index) {
    QzTable* table = tableSlot(L, index);
    if (!table) luaL_argerror(L, index, "the table has already been released");
    return *table;
}

// Text or a number (as the interpreter formats numbers); anything else raises an error.
std::string checkText(lua_State* L, int index) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return std::string(text, length);
}

std::string checkPath(lua_State* L, int index) {
    std::string path = checkText(L, index);
    if (path.find('\0') != std::string::npos) luaL_argerror(L, index, "the path contains a zero byte");
    return path;
}

long long clampToInt(long long value) {
    return value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value;
}

// A row or column argument: its integer value and its text. A number keeps its own value
// (its text, in exponent notation from seven digits on, would read as another integer);
// text is read with the standard library's string-to-integer conversion.
struct Position {
    long long integer;
    std::string text;
};

Position checkPosition(lua_State* L, int index) {
    const bool isNumber = lua_type(L, index) == LUA_TNUMBER;
    const double number = isNumber ? lua_tonumber(L, index) : 0.0;
    Position position{0, checkText(L, index)};
    if (!isNumber) {
        position.integer = clampToInt(std::strtoll(position.text.c_str(), nullptr, 10));
    } else if (!std::isnan(number)) {
        position.integer = number >= INT32_MAX ? INT32_MAX
                           : number <= INT32_MIN ? INT32_MIN
                                                 : static_cast<long long>(number);
    }
    return position;
}

enum class Axis { Row, Column };

// The 0-based index a script position (counted from 1) names: the number when it is in
// range, otherwise the first row or column whose title matches the text regardless of case.
// -1 when neither resolves.
int resolve(const QzTable& table, const Position& position, Axis axis) {
    const int count = axis == Axis::Row ? table.numberOfRows() : table.numberOfColumns();
    long long index = position.integer - 1;
    if (index < 0 || index >= count) {
        index = axis == Axis::Row ? table.findRowNumberByName(position.text)
                                  : table.findColumnNumberByName(position.text);
    }
    return index >= 0 && index < count ? static_cast<int>(index) : -1;
}

// The model row addRow and removeRow act on, or -1 for none. The position minus one is
// used, or for 0 and text that is not a number the row with that title; position -1 stands
// for numberOfRows (append, or remove the last row), and numberOfRows + 1 is accepted too.
int rowForEdit(const QzTable& table, const Position& position) {
    const int rows = table.numberOfRows();
    const long long index =
        position.integer == 0 ? table.findRowNumberByName(position.text) : position.integer - 1;
    if (index == -2) return rows;
    return index >= 0 && index <= rows ? static_cast<int>(index) : -1;
}

int newTable(lua_State* L) {
    QzTable*& slot = *static_cast<QzTable**>(lua_newuserdata(L, sizeof(QzTable*)));
    slot = nullptr;
    luaL_getmetatable(L, kTableMetatable);
    lua_setmetatable(L, -2);
    slot = new QzTable();
    return 1;
}

int collectTable(lua_State* L) {
    QzTable*& slot = tableSlot(L, 1);
    delete slot;
    slot = nullptr;
    return 0;
}

int setId(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzTable& table = checkTable(L, arg[1]);
    table.setTableId(checkText(L, arg[2]));
    return 0;
}

struct CellIndex {
    int row;     // -1 when the row does not resolve
    int column;  // -1 when the column does not resolve
    bool resolved() const { return row >= 0 && column >= 0; }
};

// The cell named by the row and column arguments, the second and third.
CellIndex checkCell(lua_State* L, const QzArgsFromTop& arg, const QzTable& table) {
    const Position row = checkPosition(L, arg[2]);
    const Position column = checkPosition(L, arg[3]);
    return {resolve(table, row, Axis::Row), resolve(table, column, Axis::Column)};
}

int setValue(lua_State* L) {
    const QzArgsFromTop arg(L, 4);
    QzTable& table = checkTable(L, arg[1]);
    const CellIndex cell = checkCell(L, arg, table);
    const std::string value = checkText(L, arg[4]);
    if (cell.resolved()) table.setCellValue(cell.row, cell.column, value);
    return 0;
}

// Text is pushed with its length: a cell may hold zero bytes a script stored in it.
void pushTyped(lua_State* L, const std::string& text, ColumnType type) {
    switch (type) {
        case ColumnTypeInteger:
            lua_pushnumber(L, static_cast<lua_Number>(std::strtoll(text.c_str(), nullptr, 10)));
            break;
        case ColumnTypeReal:
        case ColumnTypeAngle:
            lua_pushnumber(L, static_cast<lua_Number>(std::strtod(text.c_str(), nullptr)));
            break;
        case ColumnTypeBoolean:
            lua_pushboolean(L, strcasecmp(text.c_str(), "True") == 0);
            break;
        default:
            lua_pushlstring(L, text.data(), text.size());
    }
}

int getValue(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzTable& table = checkTable(L, arg[1]);
    const CellIndex cell = checkCell(L, arg, table);
    if (!cell.resolved()) {
        lua_pushstring(L, "");
        return 1;
    }
    TableColumn* column = table.columnAtIndex(cell.column);  // absent: every cell reads as empty
    const std::string text = column ? column->cellAtRowIndex(cell.row).value() : std::string();
    pushTyped(L, text, table.columnType(cell.column));
    return 1;
}

int getNumRows(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, static_cast<lua_Number>(checkTable(L, arg[1]).numberOfRows()));
    return 1;
}

int getNumCols(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, static_cast<lua_Number>(checkTable(L, arg[1]).numberOfColumns()));
    return 1;
}

int loadFromFile(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzTable& table = checkTable(L, arg[1]);
    table.loadTable(checkPath(L, arg[2]));
    return 0;
}

int saveTableData(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzTable& table = checkTable(L, arg[1]);
    table.saveTable(checkPath(L, arg[2]), false);
    return 0;
}

// directory + name + ".xml", or an empty text (with a message) when that is too long to
// be used whole.
std::string databasePath(lua_State* L, const QzArgsFromTop& arg, const char* function) {
    const std::string path = checkPath(L, arg[1]) + checkPath(L, arg[3]) + ".xml";
    if (path.size() > kMaxJoinedPath) {
        std::printf("tableHelper.%s: the table path is %zu bytes long, at most %zu are allowed: %s\n",
                    function, path.size(), kMaxJoinedPath, path.c_str());
        return std::string();
    }
    return path;
}

int saveTableToDatabase(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzTable& table = checkTable(L, arg[2]);
    const std::string path = databasePath(L, arg, "saveTableToDatabase");
    if (!path.empty()) table.saveTable(path, false);
    return 0;
}

int loadTableFromDatabase(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzTable& table = checkTable(L, arg[2]);
    const std::string path = databasePath(L, arg, "loadTableFromDatabase");
    if (!path.empty()) table.loadTable(path);
    return 0;
}

int addRow(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzTable& table = checkTable(L, arg[1]);
    const int row = rowForEdit(table, checkPosition(L, arg[2]));
    if (row >= 0) table.addRowAtIndex(row);
    return 0;
}

int removeRow(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzTable& table = checkTable(L, arg[1]);
    const int row = rowForEdit(table, checkPosition(L, arg[2]));
    if (row >= 0 && table.numberOfRows() > 0) table.removeRowAtIndex(row);
    return 0;
}

int copyTable(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzTable& destination = checkTable(L, arg[1]);
    const QzTable& source = checkTable(L, arg[2]);
    const std::string name = destination.tableName();
    destination.copyTableData(source);
    destination.setTableName(name);
    return 0;
}

const luaL_Reg kTablesFunctions[] = {
    {"new", QzGuarded<newTable>},
    {"setId", QzGuarded<setId>},
    {"setValue", QzGuarded<setValue>},
    {"getValue", QzGuarded<getValue>},
    {"getNumRows", QzGuarded<getNumRows>},
    {"getNumCols", QzGuarded<getNumCols>},
    {"loadFromFile", QzGuarded<loadFromFile>},
    {"saveTableData", QzGuarded<saveTableData>},
    {"saveTableToDatabase", QzGuarded<saveTableToDatabase>},
    {"loadTableFromDatabase", QzGuarded<loadTableFromDatabase>},
    {"addRow", QzGuarded<addRow>},
    {"removeRow", QzGuarded<removeRow>},
    {"copyTable", QzGuarded<copyTable>},
    {nullptr, nullptr},
};

}  // namespace

int luaopen_tableHelper(lua_State* L) {
    luaL_newmetatable(L, kTableMetatable);
    lua_newtable(L);
    luaL_register(L, nullptr, kTablesFunctions);
    lua_pushvalue(L, -1);
    lua_setfield(L, -3, "__index");
    lua_pushcfunction(L, QzGuarded<collectTable>);
    lua_setfield(L, -3, "__gc");
    lua_newtable(L);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "Tables");
    lua_pushvalue(L, -1);
    lua_setglobal(L, "tableHelper");
    return 1;
}

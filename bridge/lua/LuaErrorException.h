// The exception through which every script failure reaches host code.
#ifndef LUA_ERROR_EXCEPTION_H
#define LUA_ERROR_EXCEPTION_H

#include <optional>
#include <string>

#include "QzLog.h"

// Named "Lua Error". Its reason is the script's message, a line end, then the stack trace
// (absent for panics and for calls made without the message handler).
class LuaErrorException : public QzException {
public:
    static constexpr const char* kName = "Lua Error";

    LuaErrorException(std::string luaError, std::optional<std::string> luaStackTrace)
        : QzException(kName, luaError + "\n" + luaStackTrace.value_or("")),
          luaError_(std::move(luaError)),
          luaStackTrace_(std::move(luaStackTrace)) {}

    const std::string& luaError() const { return luaError_; }
    const std::optional<std::string>& luaStackTrace() const { return luaStackTrace_; }

private:
    std::string luaError_;
    std::optional<std::string> luaStackTrace_;
};

#endif

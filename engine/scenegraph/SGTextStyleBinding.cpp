// The script face of label styles: scenegraph.textMarkupProblem and the outline and shadow
// limit, so the engine script reports markup faults where they were written.
#include <lauxlib.h>

#include "QzLuaGuard.h"
#include "QzStringTexture.h"
#include "QzTextMarkup.h"
#include "SGBindingSupport.h"

namespace {

// textMarkupProblem(text): nil for well-formed markup, else what is wrong and where.
int textMarkupProblem(lua_State* L) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, 1, &length);
    const QzTextMarkup markup = QzParseTextMarkup(std::string(text, length));
    if (markup.problem.empty()) {
        lua_pushnil(L);
    } else {
        lua_pushlstring(L, markup.problem.data(), markup.problem.size());
    }
    return 1;
}

const luaL_Reg kTextStyleFunctions[] = {{"textMarkupProblem", QzGuarded<textMarkupProblem>}, {nullptr, nullptr}};

}  // namespace

void SGRegisterTextStyleFunctions(lua_State* L) {
    SGSetFunctions(L, kTextStyleFunctions);
    lua_pushnumber(L, static_cast<lua_Number>(kQzTextEffectLimit));
    lua_setfield(L, -2, "textEffectLimit");
}

// The port side of the `scenegraph` script library: port references (value, setValue,
// connectToAttribute) and attribute nodes (new, setValue, __gc).
#include <cstdio>
#include <string>

#include <lauxlib.h>

#include "QzLuaGuard.h"
#include "SGBindingSupport.h"
#include "nodes/SGAttributeNode.h"

namespace {

// The port a port reference at index names. Raises a script error when the value is not a
// port reference, when its node no longer exists, or when the node has no such port.
SGPort* resolvePort(lua_State* L, int index, const char* function) {
    if (index < 1 || lua_type(L, index) != LUA_TTABLE) {
        luaL_error(L, "bad argument #%d to '%s' (port reference expected, got %s)", index,
                   function, index < 1 ? "nothing" : luaL_typename(L, index));
    }
    lua_rawgeti(L, index, 1);
    lua_rawgeti(L, index, 2);
    lua_rawgeti(L, index, 3);
    if (!lua_islightuserdata(L, -3) || lua_type(L, -2) != LUA_TNUMBER ||
        !lua_islightuserdata(L, -1)) {
        luaL_error(L, "bad argument #%d to '%s' (port reference expected, got a table that "
                   "is not one)", index, function);
    }
    void* address = lua_touserdata(L, -3);
    const SGPortID id = SGCheckInteger(L, -2);
    const auto serial = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(lua_touserdata(L, -1)));
    lua_pop(L, 3);
    char buffer[16];
    if (!SGObject::isAlive(address, serial)) {
        luaL_error(L, "'%s': port '%s' belongs to a node that was removed", function,
                   SGPortName(id, buffer));
    }
    SGPort* port = static_cast<SGNode*>(static_cast<SGObject*>(address))->portForID(id);
    if (!port) {
        luaL_error(L, "'%s': the node has no port '%s'", function, SGPortName(id, buffer));
    }
    return port;
}

// Connects port to source, refusing a connection that would close a cycle.
void connect(lua_State* L, SGPort* port, SGPort* source, const char* function) {
    if (!port->setValue(source)) {
        luaL_error(L, "'%s': the connection would close a cycle in the scene graph", function);
    }
}

// Stores into the typed port, with the typed setter (which marks downstream nodes dirty)
// when mark is set, or into its value alone.
template <typename Port, typename Value>
void store(SGPort* port, const Value& value, bool mark) {
    auto* typed = static_cast<Port*>(port);
    if (mark) {
        typed->setValue(value);
    } else {
        typed->value = value;
    }
}

// The text of a value for a text or asset-name port. Values without a text form (tables,
// functions, userdata) raise a script error rather than store something made up.
std::string textOf(lua_State* L, int index, bool booleansAsWords, const char* function) {
    switch (lua_type(L, index)) {
    case LUA_TNIL:
    case LUA_TNONE:
        return std::string();
    case LUA_TBOOLEAN:
        if (booleansAsWords) return lua_toboolean(L, index) ? "true" : "false";
        break;
    case LUA_TNUMBER: {
        // Formatted here rather than by the interpreter, which would allocate a string and
        // so could run the collector: a collected scene takes the port's node with it.
        char text[LUAI_MAXNUMBER2STR];
        std::snprintf(text, sizeof text, LUA_NUMBER_FMT, static_cast<double>(lua_tonumber(L, index)));
        return text;
    }
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L, index, &length);
        return std::string(text, length);
    }
    default:
        break;
    }
    luaL_error(L, "'%s': a %s has no text to store in a text port", function,
               luaL_typename(L, index));
    return std::string();
}

// Writes the script value at index into the port by the port's type. Returns false for a
// type the script cannot write (colour, image, sound).
bool storeScriptValue(lua_State* L, SGPort* port, int index, bool mark, const char* function) {
    switch (port->type) {
    case SGPortTypeString:
        store<SGStringPort>(port, textOf(L, index, true, function), mark);
        return true;
    case SGPortTypeAssetName:
        store<SGStringPort>(port, textOf(L, index, false, function), mark);
        return true;
    case SGPortTypeNumber:
        store<SGNumberPort>(port, static_cast<float>(lua_tonumber(L, index)), mark);
        return true;
    case SGPortTypeInteger:
        store<SGIntegerPort>(port, SGTruncateToInt(static_cast<float>(lua_tonumber(L, index))),
                             mark);
        return true;
    case SGPortTypeBoolean:
        store<SGBooleanPort>(port, lua_toboolean(L, index) != 0, mark);
        return true;
    default:
        return false;
    }
}

// port:value(): text, number or boolean by the port's type; nil for the other types.
int portValue(lua_State* L) {
    SGPort* port = resolvePort(L, 1, "value");
    switch (port->type) {
    case SGPortTypeString:
    case SGPortTypeAssetName: {
        const std::string text = port->stringValue();
        lua_pushlstring(L, text.data(), text.size());
        break;
    }
    case SGPortTypeNumber: lua_pushnumber(L, port->numberValue()); break;
    case SGPortTypeInteger: lua_pushnumber(L, static_cast<lua_Number>(port->intValue())); break;
    case SGPortTypeBoolean: lua_pushboolean(L, port->boolValue()); break;
    default: lua_pushnil(L); break;
    }
    return 1;
}

// port:setValue(value, mark): a port reference as value connects; anything else is stored.
int portSetValue(lua_State* L) {
    SGPort* port = resolvePort(L, 1, "setValue");
    if (lua_type(L, 2) == LUA_TTABLE) {
        connect(L, port, resolvePort(L, 2, "setValue"), "setValue");
        return 0;
    }
    const bool mark = lua_toboolean(L, 3) != 0;
    if (!storeScriptValue(L, port, 2, mark, "setValue")) {
        std::printf("SGPort:setValue unhandled type");
        std::fflush(stdout);
    }
    return 0;
}

SGAttributeNode* checkAttribute(lua_State* L, int index, const char* function) {
    return static_cast<SGAttributeNode*>(SGCheckNode(L, index, SGKindAttribute, function));
}

// The value port of an attribute node; raises a script error for a node built without one.
SGPort* attributeValuePort(lua_State* L, SGAttributeNode* node, const char* function) {
    SGPort* port = node->valuePort();
    if (!port) {
        luaL_error(L, "'%s': the attribute node has no value port (it was created with an "
                      "unsupported type)", function);
    }
    return port;
}

// port:connectToAttribute(attribute): attribute is a script object whose getNode method
// returns an attribute-node userdata; the port reads from that node's value port.
int portConnectToAttribute(lua_State* L) {
    resolvePort(L, 1, "connectToAttribute");
    luaL_checkany(L, 2);
    lua_getfield(L, 2, "getNode");
    if (!lua_isfunction(L, -1)) {
        return luaL_error(L, "'connectToAttribute': the attribute has no getNode method");
    }
    lua_pushvalue(L, 2);
    lua_call(L, 1, 1);
    SGAttributeNode* node = checkAttribute(L, -1, "connectToAttribute");
    // Resolved again: getNode is script code and may have removed the port's node.
    SGPort* port = resolvePort(L, 1, "connectToAttribute");
    connect(L, port, attributeValuePort(L, node, "connectToAttribute"), "connectToAttribute");
    lua_pop(L, 1);
    return 0;
}

// attributeNode.new(type): the new node in no space, owned by its userdata.
int attributeNew(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "new");
    const auto type = static_cast<SGPortValueType>(SGCheckInteger(L, first));
    auto* node = new SGAttributeNode(type);
    SGPushNode(L, node);  // the userdata takes over the constructor's reference
    return 1;
}

// attributeNode:setValue(value, mark), on the node's value port.
int attributeSetValue(lua_State* L) {
    SGPort* port = attributeValuePort(L, checkAttribute(L, 1, "setValue"), "setValue");
    const bool mark = lua_toboolean(L, 3) != 0;
    if (!storeScriptValue(L, port, 2, mark, "setValue")) {
        std::printf("AttributeNode:setValue unhandled type\n");
        std::fflush(stdout);
    }
    return 0;
}

// Drops the userdata's reference once; a second call (by hand) does nothing.
int attributeGC(lua_State* L) {
    SGNodeHandle* handle = SGToNodeHandle(L, 1, SGKindAttribute);
    if (!handle || !handle->node) return 0;
    SGNode* node = handle->node;
    handle->node = nullptr;
    node->release();
    return 0;
}

const luaL_Reg kPortFunctions[] = {
    {"value", QzGuarded<portValue>},
    {"setValue", QzGuarded<portSetValue>},
    {"connectToAttribute", QzGuarded<portConnectToAttribute>},
    {nullptr, nullptr}};

const luaL_Reg kAttributeFunctions[] = {
    {"new", QzGuarded<attributeNew>},
    {"setValue", QzGuarded<attributeSetValue>},
    {"__gc", QzGuarded<attributeGC>},
    {nullptr, nullptr}};

}  // namespace

void SGRegisterPortFunctions(lua_State* L) { SGSetFunctions(L, kPortFunctions); }

void SGRegisterAttributeNodeFunctions(lua_State* L) { SGSetFunctions(L, kAttributeFunctions); }

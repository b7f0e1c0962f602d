-- The globals every engine state gets: createTable, createTableT, typeCode, _debuglevel, callbacks.
local check = require("check")

check.test("typeCode numbers the interpreter's types by its last argument", function()
  local values = {n = nil, true, false, 3, "x", {}, print, io.stdout, coroutine.create(function() end)}
  for i, code in ipairs({1, 1, 3, 4, 5, 6, 7, 8}) do check.equal(typeCode(values[i]), code, type(values[i])) end
  check.equal(typeCode(nil), 0)
  check.equal(typeCode(1, "a", {}), 5, "the last argument counts")
  check.raises("bad argument #1 to 'typeCode'", function() local code = typeCode() return code end)
end)

check.test("createTable and createTableT make empty pre-sized tables", function()
  local t = createTable(4, 0)
  check.equal(next(t), nil)
  for i = 1, 4 do t[i] = i end
  check.equal(#t, 4)
  check.raises("number expected", createTable, "x", 1)
  check.raises("size out of range", createTable, -1, 0)
  check.raises("size out of range", createTable, 1, 1e9)

  local before = collectgarbage("count")
  collectgarbage("stop")
  local copy = createTableT({1, 2, 3, 4, 5, 6, 7, 8, a = 1, b = 2, c = 3})
  local grown = collectgarbage("count") - before
  collectgarbage("restart")
  check.equal(next(copy), nil, "the new table is empty")
  check.truthy(grown * 1024 >= 8 * 16 + 4 * 40, "8 array slots and 4 hash nodes, grew " .. grown * 1024 .. " bytes")
  check.raises("bad argument #1 to 'createTableT' (table expected, got number)",
    function() local t2 = createTableT(5) return t2 end)
  check.raises("table expected, got no value", createTableT)
end)

check.test("_debuglevel, callbacks and 32-bit float numbers", function()
  check.equal(_debuglevel, 1)
  for _, name in ipairs({"loadingWillStart", "loadingWillEnd", "gameDidEnd", "callExternalFunction"}) do
    check.equal(type(callbacks[name]), "function", name)
  end
  check.equal(16777216 + 1, 16777216)
  check.equal(tostring(1 / 3), "0.333333")
end)

check.finish()

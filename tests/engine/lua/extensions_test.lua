-- The globals every engine state gets: createTable, createTableT, typeCode, _debuglevel, callbacks.
local check = require("check")

check.test("typeCode numbers the interpreter's types", function()
  check.equal(typeCode(nil), 0)
  check.equal(typeCode(true), 1)
  check.equal(typeCode(3), 3)
  check.equal(typeCode("x"), 4)
  check.equal(typeCode({}), 5)
  check.equal(typeCode(print), 6)
  check.equal(typeCode(io.stdout), 7)
  check.equal(typeCode(coroutine.create(function() end)), 8)
  check.equal(typeCode(1, "a", {}), 5, "the last argument counts")
  check.raises("bad argument #1 to 'typeCode'", function() local code = typeCode() return code end)
end)

check.test("createTable makes an empty pre-sized table", function()
  local t = createTable(4, 0)
  check.equal(#t, 0)
  check.equal(next(t), nil)
  for i = 1, 4 do t[i] = i end
  check.equal(#t, 4)
  check.equal(typeCode(createTable(0, 16)), 5)
  check.raises("number expected", createTable, "x", 1)
  check.raises("size out of range", createTable, -1, 0)
  check.raises("size out of range", createTable, 1, 1e9)
end)

check.test("createTableT sizes like its argument and refuses non-tables", function()
  local model = {1, 2, 3, 4, 5, 6, 7, 8, a = 1, b = 2, c = 3}
  local before = collectgarbage("count")
  collectgarbage("stop")
  local copy = createTableT(model)
  local grown = collectgarbage("count") - before
  collectgarbage("restart")
  check.equal(next(copy), nil, "the new table is empty")
  -- 8 array slots and 4 hash nodes take more than an empty table
  check.truthy(grown * 1024 >= 8 * 16 + 4 * 40, "pre-sized, grew " .. grown * 1024 .. " bytes")
  check.equal(next(createTableT({})), nil)
  check.raises("bad argument #1 to 'createTableT' (table expected, got number)",
    function() local t = createTableT(5) return t end)
  check.raises("table expected, got no value", createTableT)
end)

check.test("_debuglevel and the callbacks library exist", function()
  check.equal(_debuglevel, 1)
  for _, name in ipairs({"loadingWillStart", "loadingWillEnd", "gameDidEnd", "callExternalFunction"}) do
    check.equal(type(callbacks[name]), "function", name)
  end
  check.equal(select("#", callbacks.callExternalFunction("openURL", "x")), 0, "no host function set")
end)

check.test("numbers are 32-bit floats", function()
  check.equal(16777216 + 1, 16777216)
  check.equal(tostring(1 / 3), "0.333333")
  check.equal(tonumber("0.1"), 0.1)
end)

check.finish()

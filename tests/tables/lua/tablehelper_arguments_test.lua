-- tableHelper functions count their arguments back from the last one.
local check = require("check")
local T = tableHelper.Tables

check.test("extra leading arguments do not shift the meaning of the others", function()
  local t = T.new()
  T.addRow("extra", t, -1)
  T.setValue("extra", t, 2, 1, "x")
  check.equal(T.getValue("extra", t, 2, 1), "x", "getValue")
  check.equal(T.getNumRows("extra", t), 2, "getNumRows")
  local copy = T:new()
  T.copyTable({}, copy, t)
  check.equal(copy:getValue(2, 1), "x", "copied")
  local dir = check.workDir() .. "/"
  T.saveTableToDatabase("extra", dir, t, "saved")
  local loaded = T.new()
  loaded.loadTableFromDatabase("extra", dir, loaded, "saved")
  check.equal(loaded:getValue(2, 1), "x", "saved and loaded")
end)

check.test("argument errors name the argument where the script wrote it", function()
  local t = T.new()
  check.raises("bad argument #3 to '?' (string expected, got table)", T.setValue, t, 1, {}, "v")
  check.raises("#1 to 'getValue' (tableHelper.TableDataMT expected", function() return t:getValue(1, 1, 1) end)
  check.raises("#3 to 'setValue' (string expected, got no value)", function() t:setValue(1, 1) end)
end)

check.finish()

-- Tests of the tableHelper script library: typed cells, positions, rows, copy and files.
local check = require("check")
local T = tableHelper.Tables

-- A new table grown to `rows` rows (one column).
local function filled(rows)
  local t = T.new()
  for _ = 2, rows do t:addRow(-1) end
  return t
end

check.test("a new table has one empty cell", function()
  local t = T.new()
  check.equal(t:getValue(1, 1), "", "cell 1,1")
  check.equal(t:getNumRows(), 1, "rows")
  check.equal(t:getNumCols(), 1, "cols")
  check.equal(tableHelper.Tables.getValue(t, 1, 1), "", "dot call")
end)

check.test("values are stored as text and positions out of range are ignored", function()
  local t = filled(3)
  t:setValue(1, 1, 0.5)
  check.equal(t:getValue(1, 1), "0.5", "number text")
  t:setValue(2, 1, 1234567)
  check.equal(t:getValue(2, 1), "1.23457e+06", "exponent notation")
  t:setValue(5, 1, "x")
  t:setValue(1000000, 1, "x")
  check.equal(t:getValue(1, 1), "0.5", "row 1 untouched by a seven-digit position")
  check.equal(t:getValue(5, 1), "", "out of range read")
  check.equal(t:getValue(1, 2), "", "out of range column")
  t:setValue(3, 1, "a\0b")
  check.equal(t:getValue(3, 1), "a\0b", "a zero byte does not cut the text")
end)

-- Typed reads need typed columns: a saved file sets them.
local function typedTable()
  local dir = check.workDir()
  local f = assert(io.open(dir .. "/typed.xml", "w"))
  f:write([[<?xml version="1.0" encoding="utf-8"?>
<table version="1.000000" name="Typed" numRows="4" numCols="4" flags="0" tableType="0">
    <rows><row id="0" name="Hero"/><row id="1" name="2"/><row id="2" name="Boss"/><row id="3" name="0"/></rows>
    <columns>
        <column id="0" name="Flag" type="4" readonly="0">TRUE,False,yes,true</column>
        <column id="1" name="Count" type="2" readonly="0">12abc,,-3,4</column>
        <column id="2" name="Speed" type="3" readonly="0">2.5,x,1e3,0.25</column>
        <column id="3" name="Label" type="1" readonly="0">a,b,c,zero</column>
    </columns>
</table>
]])
  f:close()
  local t = T.new()
  t:loadFromFile(dir .. "/typed.xml")
  return t
end

check.test("cells are typed by their column", function()
  local t = typedTable()
  check.equal(t:getValue(1, 1), true, "TRUE")
  check.equal(t:getValue(2, 1), false, "False")
  check.equal(t:getValue(3, 1), false, "yes")
  check.equal(t:getValue(1, 2), 12, "12abc")
  check.equal(t:getValue(2, 2), 0, "blank integer")
  check.equal(t:getValue(1, 3), 2.5, "real")
  check.equal(t:getValue(3, 3), 1000, "exponent real")
  check.equal(t:getValue(1, 4), "a", "text")
end)

check.test("positions resolve by number first, then by title", function()
  local t = typedTable()
  check.equal(t:getValue("boss", "label"), "c", "titles ignore case")
  check.equal(t:getValue("3", 4), "c", "numeric text")
  check.equal(t:getValue(2, 4), "b", "a number in range wins over the row titled 2")
  check.equal(t:getValue(0, 4), "zero", "0 looks for a row titled 0")
  check.equal(t:getValue(-1, 4), "", "-1 names no row")
  check.equal(t:getValue("nobody", 4), "", "unknown title")
  t:setValue("hero", "Label", "changed")
  check.equal(t:getValue(1, 4), "changed", "set by title")
end)

check.test("rows are added and removed by position", function()
  local t = filled(3)
  t:setValue(1, 1, "one")
  t:setValue(2, 1, "two")
  t:setValue(3, 1, "three")
  t:addRow(-1)
  check.equal(t:getNumRows(), 4, "appended")
  check.equal(t:getValue(4, 1), "", "appended row is empty")
  t:addRow(1)
  check.equal(t:getValue(2, 1), "one", "row 1 moved to 2")
  check.equal(t:getValue(1, 1), "", "new row 1")
  t:removeRow(1)
  t:removeRow(-1)
  check.equal(t:getNumRows(), 3, "rows after removing")
  check.equal(t:getValue(1, 1), "one", "row 1 unchanged")
  check.equal(t:getValue(3, 1), "three", "row 3 unchanged")
  t:addRow(99)
  t:removeRow("nobody")
  check.equal(t:getNumRows(), 3, "out of range and unknown positions do nothing")
  t:removeRow(-1)
  t:addRow(-1)
  check.equal(t:getValue(3, 1), "", "a row appended after removing the last one is empty")
  for _ = 1, 4 do t:removeRow(-1) end
  check.equal(t:getNumRows(), 0, "all rows removed")
  t:addRow(-1)
  check.equal(t:getNumRows(), 1, "a row added to an empty table")
end)

check.test("copyTable copies the data and keeps the destination's name", function()
  local source = typedTable()
  local destination = T.new()
  T.copyTable(destination, source)
  check.equal(destination:getNumRows(), 4, "rows")
  check.equal(destination:getValue("boss", "flag"), false, "typed copy")
  check.equal(destination:getValue(1, 1), true, "TRUE copied")
  source:setValue(1, 4, "later")
  check.equal(destination:getValue(1, 4), "a", "independent copy")
  T.copyTable(destination, destination)
  check.equal(destination:getValue(1, 4), "a", "copy onto itself")
end)

check.test("tables save to and load from the tables directory", function()
  local dir = database.getTablesDirectoryPath()
  check.truthy(dir, "tables directory")
  local t = typedTable()
  t:setValue(2, 4, "saved, with \"quotes\" & \\ and\nlines")
  T.saveTableToDatabase(dir, t, "levels")
  local f = io.open(dir .. "levels.xml", "r")
  check.truthy(f, "file written")
  f:close()
  local back = T.new()
  T.loadTableFromDatabase(dir, back, "levels")
  check.equal(back:getValue(2, 4), "saved, with \"quotes\" & \\ and\nlines", "round trip")
  check.equal(back:getValue(1, 1), true, "types kept")
  T.loadTableFromDatabase(dir, back, "missing")
  check.equal(back:getValue(2, 4), "saved, with \"quotes\" & \\ and\nlines", "failed load changes nothing")
  t:saveTableData(dir .. "no/such/folder/t.xml")
  local long = string.rep("x", 1100)
  T.saveTableToDatabase(dir, t, long)
  check.falsy(io.open(dir .. long .. ".xml", "r"), "an overlong path is refused")
end)

check.test("misuse raises errors instead of crashing", function()
  local t = T.new()
  check.raises("bad argument #2", T.getValue, t, nil, 1)
  check.raises("string expected, got nil", function() return t:getValue(nil, 1) end)
  check.raises("bad argument #3", T.setValue, t, 1, {}, "x")
  check.raises("bad argument #4", T.setValue, t, 1, 1, true)
  check.raises("bad argument #4", T.setValue, t, 1, 1)
  check.raises("bad argument #1", T.getValue, {}, 1, 1)
  check.raises("bad argument #1", T.getNumRows, nil)
  check.raises("bad argument #2", T.loadFromFile, t, nil)
  check.raises("zero byte", T.saveTableData, t, "a\0b")
  check.raises("bad argument #1", T.saveTableToDatabase, nil, t, "x")
  check.raises("bad argument #2", T.copyTable, t, "not a table")
  check.raises("bad argument #2", T.addRow, t, false)
  check.raises("bad argument #1", T.setId, 5, "id")
  t:setId("fine")
end)

check.test("a released table is refused", function()
  local t = T.new()
  local gc = getmetatable(t).__gc
  gc(t)
  check.raises("released", T.getNumRows, t)
  gc(t)
end)

check.finish()

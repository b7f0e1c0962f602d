-- A game that saves values and a table as fast as it can, reporting each save once it returned.
-- Every run first reports what the previous runs left ("resumed" and the value of "latest").
local out = io.stdout
local Tables = tableHelper.Tables
local run = tonumber(database.loadValueForKey("run") or "0") + 1
local saves = 0
local progress = Tables.new()

local function report(...)
  out:write(table.concat({...}, " "), "\n")
  out:flush()
end

report("resumed", run, database.loadValueForKey("latest") or "none")
database.storeValueForKey(string.format("%d", run), "run")

function initEngine() end

function update()
  for _ = 1, 40 do
    saves = saves + 1
    local value = string.format("%d.%d", run, saves)
    local key = "save" .. value
    database.storeValueForKey(value, key)
    database.storeValueForKey(value, "latest")
    report("value", key, value)
    if saves % 10 == 0 then
      progress:setValue(1, 1, value)
      Tables.saveTableToDatabase(database.getTablesDirectoryPath(), progress, "progress")
      report("table", value)
    end
  end
end

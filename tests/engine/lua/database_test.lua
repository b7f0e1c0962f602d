-- The database library's conversions and refused keys (the store itself has native tests).
local check = require("check")

check.test("numbers are stored as their text, nil and booleans as nothing", function()
  database.storeValueForKey(3, "three")
  check.equal(database.loadValueForKey("three"), "3")
  database.storeValueForKey(2.5, 7)
  check.equal(database.loadValueForKey(7), "2.5")
  database.storeValueForKey(true, "flag")
  check.equal(database.loadValueForKey("flag"), nil)
  database.storeValueForKey(nil, "three")
  check.equal(database.loadValueForKey("three"), nil)
end)

check.test("keys without text are refused, other arguments ignored", function()
  database.storeValueForKey("orphan", nil)
  database.storeValueForKey("orphan", {})
  check.equal(database.loadValueForKey(nil), nil)
  check.equal(database.loadValueForKey({}), nil)
  check.equal(database.loadValueForKey(), nil)
  check.equal(select("#", database.storeValueForKey()), 0)
end)

check.finish()

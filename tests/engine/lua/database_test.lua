-- The database library's conversions and refused keys (the store itself has native tests).
local check = require("check")

check.test("numbers are stored as text, nil and booleans as nothing; keys without text are refused", function()
  for _, case in ipairs({{3, "three", "3"}, {2.5, 7, "2.5"}, {true, "flag"}, {nil, "three"}, {"x", {}}}) do
    database.storeValueForKey(case[1], case[2])
    check.equal(database.loadValueForKey(case[2]), case[3], tostring(case[2]))
  end
  database.storeValueForKey("orphan", nil)
  check.equal(database.loadValueForKey(nil), nil)
  check.equal(database.loadValueForKey(), nil)
  check.equal(select("#", database.storeValueForKey()), 0)
end)

check.finish()

-- The order of the tour's scenes, from the table "tour": a scene's title line and the steps
-- to the scene before or after it.
local tour = readTable("tour")
local order = {}

local function rowOf(name)
  for row = 1, tour:rows() do
    if tour:get(row, "scene") == name then return row end
  end
  return 1
end

function order.title(name)
  local row = rowOf(name)
  return row .. "/" .. tour:rows() .. "  " .. tour:get(row, "title")
end

function order.go(name, step)
  local row = (rowOf(name) - 1 + step) % tour:rows() + 1
  changeScene(tour:get(row, "scene"))
end

return order

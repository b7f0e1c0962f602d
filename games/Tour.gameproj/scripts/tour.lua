-- Feature tour navigation: the arrow keys and clicks step through the scenes listed in the
-- table "tour"; each scene's title comes from the same table.
local tour = readTable("tour")

local function currentRow()
  for row = 1, tour:rows() do
    if tour:get(row, "scene") == sceneName() then return row end
  end
  return 1
end

local function go(step)
  local row = (currentRow() - 1 + step) % tour:rows() + 1
  changeScene(tour:get(row, "scene"))
end

function onStart()
  saveValue("lastScene", sceneName())
  local title = actor("title")
  if title then title:setText(currentRow() .. "/" .. tour:rows() .. "  " .. tour:get(currentRow(), "title")) end
end

function onKeyDown(key)
  if key == "right" then go(1) elseif key == "left" then go(-1) end
end

function onMouseDown()
  go(1)
end

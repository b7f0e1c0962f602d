-- The high-score table: five names and scores in the save store ("name1", "score1", ...).
-- A game that has just ended with a name entered is placed in it first.
local kTableSize = 5

local function readEntries()
  local entries = {}
  for place = 1, kTableSize do
    local points = loadValue("score" .. place)
    if points then entries[#entries + 1] = {name = tostring(loadValue("name" .. place)), score = points} end
  end
  return entries
end

local function writeEntries(entries)
  for place = 1, math.min(#entries, kTableSize) do
    saveValue("name" .. place, entries[place].name)
    saveValue("score" .. place, entries[place].score)
  end
end

-- Puts the last game's score in its place; equal scores keep the older entry first.
local function addPendingEntry(entries)
  if loadValue("pendingEntry") ~= 1 then return end
  saveValue("pendingEntry", 0)
  local entry = {name = tostring(loadValue("playerName")), score = loadValue("lastScore") or 0}
  local place = #entries + 1
  for index, held in ipairs(entries) do
    if entry.score > held.score then
      place = index
      break
    end
  end
  table.insert(entries, place, entry)
  writeEntries(entries)
end

function onStart()
  local entries = readEntries()
  addPendingEntry(entries)
  local lines = actors("entry")
  for place, line in ipairs(lines) do
    local entry = entries[place]
    local text = entry and string.format("%d. %-12s %6d", place, entry.name, entry.score) or (place .. ". ---")
    line:setText(text)
    if entry then log("high score " .. text) end
  end
end

function onKeyDown(key)
  if key == "space" or key == "return" or key == "esc" then changeScene("title") end
end

function onMouseDown()
  changeScene("title")
end

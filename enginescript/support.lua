-- Shared pieces of the engine script: the private Engine table, classes, error reports
-- that say each distinct message once, and attribute objects for the scene graph.
local math, string, table, debug = math, string, table, debug  -- the engine's own, whatever games do
Engine = {}

-- A class is a table whose instances use it as their metatable; `base` is inherited.
function Engine.class(base)
  local class = {}
  class.__index = class
  if base then setmetatable(class, {__index = base}) end
  class.super = base
  return class
end

-- The object itself when it is an instance of class (or of a class derived from it), else nil.
function instanceOfClassType(object, class)
  if type(class) ~= "table" then return nil end
  local meta = getmetatable(object)
  while type(meta) == "table" do
    if meta == class then return object end
    meta = meta.super
  end
  return nil
end

function table.keys(t)
  local keys = {}
  for key in pairs(t) do keys[#keys + 1] = key end
  return keys
end

function logtrace()
  io.stderr:write(debug.traceback("logtrace", 2), "\n")
end

-- Problems of the game (bad documents, missing files, failing behaviours) go to standard
-- error, each distinct message once: a behaviour failing every frame must not flood the log.
-- After 200 distinct messages the rest are counted, not printed.
local reported = {}
local reportedCount = 0
local suppressed = 0
local kMaxReports = 200

function Engine.report(message)
  message = tostring(message)
  if reported[message] then return end
  if reportedCount >= kMaxReports then
    if suppressed == 0 then
      Engine.reportSink(string.format("%d different problems so far; further ones are only counted", kMaxReports))
    end
    suppressed = suppressed + 1
    return
  end
  reported[message] = true
  reportedCount = reportedCount + 1
  Engine.reportSink(message)
end

-- Where reports go: standard error, where the player's own errors go too, and the host,
-- which may show them over the game.
function Engine.reportSink(message)
  io.stderr:write("game: ", message, "\n")
  callbacks.problemReported(message)
end

-- How many reports were printed and how many were held back (tests and the benchmark read it).
function Engine.reportCounts()
  return reportedCount, suppressed
end

-- The number of problems reported since the engine started, printed or only counted: the
-- player's headless mode and qzrun call it at the end and fail the run when it is not 0.
function problemsReported()
  return reportedCount + suppressed
end

-- Says at the end of the run how many problems were only counted.
function Engine.reportSuppressed()
  if suppressed > 0 then
    Engine.reportSink(string.format("%d more problem(s) were counted but not printed", suppressed))
  end
end

-- Forgets which messages were printed, so that a new game run reports them again.
function Engine.resetReports()
  reported, reportedCount, suppressed = {}, 0, 0
end

-- Forgets which messages were printed but keeps the counts: after a change to the game,
-- its problems are printed again once.
function Engine.forgetPrintedReports()
  reported = {}
end

-- "file:line: " of the code `level` calls up, as error(message, level) names it; "" when
-- that code is not a script.
function Engine.where(level)
  local info = debug.getinfo(level + 1, "Sl")
  if not info or info.currentline <= 0 then return "" end
  return info.short_src .. ":" .. info.currentline .. ": "
end

-- Calls fn in protected mode; a failure is reported once, prefixed with what was running.
-- Returns true and fn's first result, or false.
function Engine.protect(what, fn, ...)
  local ok, result = pcall(fn, ...)
  if not ok then
    Engine.report(what and (what .. ": " .. tostring(result)) or result)
    return false
  end
  return true, result
end

-- An attribute object: a script value in `_value` that the scene graph can read through an
-- attribute node (made on the first getNode). Writing it marks whatever is connected to it.
Attribute = Engine.class()

function Attribute.new(valueType, value)
  return setmetatable({_type = valueType, _value = value}, Attribute)
end

function Attribute:getNode()
  if not self._node then
    self._node = scenegraph.attributeNode.new(self._type)
    self._node:setValue(self._value, true)
  end
  return self._node
end

function Attribute:value()
  return self._value
end

function Attribute:setValue(value)
  if value == self._value then return end
  self._value = value
  if self._node then self._node:setValue(value, true) end
end

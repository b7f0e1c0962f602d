-- Label styles: markup checked and reported where it is written, outlines and shadows, and
-- the text actor methods that change them.
local math, string = math, string  -- the engine's own, whatever games do
local sg = scenegraph
local Actor = Engine.Actor
local Labels = {}
Engine.Labels = Labels

-- Reports a markup fault at `where` ("file:line: ..."); the label then shows its text as typed.
function Labels.checkMarkup(where, text)
  local problem = sg.textMarkupProblem(text)
  if problem then Engine.report(where .. "the markup is shown as typed: " .. problem) end
end

-- The value within low to high; one outside is reported at `where` and the nearest bound
-- used (0 for a value that is not a number, such as nan).
local function bounded(where, what, value, low, high)
  if value >= low and value <= high then return value end
  local used = value < low and low or value > high and high or 0
  Engine.report(string.format("%s%s %g is outside %g to %g; %g is used", where, what, value, low, high, used))
  return used
end

local function outlineWidth(where, width)
  return bounded(where, "outlineWidth", width, 0, sg.textEffectLimit)
end

local function shadowOffset(where, dx, dy)
  local limit = sg.textEffectLimit
  return bounded(where, "shadowOffset x", dx, -limit, limit), bounded(where, "shadowOffset y", dy, -limit, limit)
end

-- The checks of a <text> element's style that both the scene and the project check make, so
-- a fault is said once.
function Labels.check(where, values)
  if values.markup then Labels.checkMarkup(where, values.text) end
  local width = values.outline and outlineWidth(where, values.outlineWidth)
  local dx, dy
  if values.shadow then dx, dy = shadowOffset(where, values.shadowOffset[1], values.shadowOffset[2]) end
  return width, dx, dy
end

-- The colour of an outline or shadow: a colour node made on first use and connected to the
-- text node's port, then changed in place.
local function setEffectColor(actor, port, color)
  local nodes = actor.effectColors
  if not nodes then
    nodes = {}
    actor.effectColors = nodes
  end
  local node = nodes[port]
  if not node then
    node = actor:colorNode(color)
    nodes[port] = node
    actor.textNode[port]:setValue(node.output)
    return
  end
  node.r:setValue(color[1], true)
  node.g:setValue(color[2], true)
  node.b:setValue(color[3], true)
  node.a:setValue(color[4], true)
end

-- Called by the text builder: markup, outline and shadow of the scene document.
function Labels.style(actor, node, values)
  local width, dx, dy = Labels.check(actor:where(), values)
  node.markup:setValue(values.markup, true)
  if values.outline then
    setEffectColor(actor, "outlineColor", values.outline)
    node.outlineWidth:setValue(width, true)
  end
  if values.shadow then
    setEffectColor(actor, "shadowColor", values.shadow)
    node.shadowDx:setValue(dx, true)
    node.shadowDy:setValue(dy, true)
  end
end

-- Gives the label a text, read as markup or shown as typed; markup faults are reported at `where`.
function Labels.show(actor, text, markup, where)
  actor.values.text, actor.values.markup = text, markup
  if markup then Labels.checkMarkup(where, text) end
  local node = actor.textNode
  if node then
    node.text:setValue(text, true)
    node.markup:setValue(markup, true)
  end
end

local function needLabel(actor, method)
  if actor.kind ~= "text" then error(method .. " works on text actors only", 3) end
  return actor.textNode
end

function Actor:setMarkup(text)
  needLabel(self, "setMarkup")
  Labels.show(self, tostring(text), true, Engine.where(2) .. "setMarkup: ")
end

-- A colour from script arguments: red, green and blue default to 0 (black), alpha to 1.
local function colorOf(r, g, b, a)
  return {tonumber(r) or 0, tonumber(g) or 0, tonumber(b) or 0, tonumber(a) or 1}
end

function Actor:setOutline(r, g, b, a, width)
  local node = needLabel(self, "setOutline")
  if not node then return end
  setEffectColor(self, "outlineColor", colorOf(r, g, b, a))
  node.outlineWidth:setValue(outlineWidth(Engine.where(2) .. "setOutline: ", tonumber(width) or 2), true)
end

function Actor:setShadow(r, g, b, a, dx, dy)
  local node = needLabel(self, "setShadow")
  if not node then return end
  setEffectColor(self, "shadowColor", colorOf(r, g, b, a))
  dx, dy = shadowOffset(Engine.where(2) .. "setShadow: ", tonumber(dx) or 2, tonumber(dy) or -2)
  node.shadowDx:setValue(dx, true)
  node.shadowDy:setValue(dy, true)
end

-- Records every callback with its arguments in `log`, one line each.
log = {}

local function record(name, ...)
  local parts = {name}
  for index = 1, select("#", ...) do
    local value = select(index, ...)
    if type(value) == "table" then value = value.name or ("{" .. table.concat(value, ",") .. "}") end
    parts[#parts + 1] = tostring(value)
  end
  log[#log + 1] = table.concat(parts, " ")
end

function onStart(...) record("onStart", ...) end
function onKeyDown(...) record("onKeyDown", ...) end
function onKeyUp(...) record("onKeyUp", ...) end
function onMouseDown(...) record("onMouseDown", ...) end
function onMouseUp(...) record("onMouseUp", ...) end
function onMouseMoved(...) record("onMouseMoved", ...) end
function onClick(...) record("onClick", ...) end
function onCollision(...) record("onCollision", ...) end
function onCollisionEnd(...) record("onCollisionEnd", ...) end
function onEvent(...) record("onEvent", ...) end
function onTextEntered(...) record("onTextEntered", ...) end

-- A spark burst: emits for a moment, then goes once its sparks have faded.
local kEmitSeconds, kLifeSeconds = 0.12, 0.8
local born

function onStart()
  born = time()
end

function onUpdate()
  local age = time() - born
  if age > kLifeSeconds then
    self:destroy()
  elseif age > kEmitSeconds then
    self:setEmitting(false)
  end
end

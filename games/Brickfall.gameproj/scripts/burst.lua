-- A spark burst: every spark of an emitter takes the same path, so a short stream of them
-- (each living a fraction of a second and starting again at the brick) makes the trail; the
-- emitter stops after a moment and goes once its sparks have faded.
local kEmitSeconds, kLifeSeconds = 0.3, 0.7
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

-- At frame 5, hoards strings of 8 MB until it holds 768 MB.
local frame = 0

function onUpdate()
  frame = frame + 1
  if frame ~= 5 then return end
  local hoard = {}
  while #hoard < 96 do hoard[#hoard + 1] = string.rep(tostring(#hoard % 10), 8 * 1024 * 1024 + #hoard) end
  log("hoarded everything")
end

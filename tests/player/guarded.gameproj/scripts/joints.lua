-- Probes the joints of the scene document, ray casts and area queries, frame by frame.
local updates = 0
local longestRope = 0
local ropeHandle

local function names(actors)
  local list = {}
  for index, actor in ipairs(actors) do list[index] = actor.name end
  table.sort(list)
  return table.concat(list, " ")
end

function onUpdate()
  updates = updates + 1
  ropeHandle = ropeHandle or joint("rope")
  if ropeHandle:isAlive() then longestRope = math.max(longestRope, ropeHandle:length()) end
  if updates == 61 then
    local angle = joint("motor"):angle()
    log("motor", angle, "turns", math.abs(angle - 90) < 3)
    local hit = rayCast(0, 100, 400, 100)
    log(string.format("ray %s %.1f %.1f %.2f %.3f", hit.actor.name, hit.x, hit.y, hit.normalX, hit.fraction))
    local all = rayCastAll(400, 100, 0, 100)
    log("ray back", all[1].actor.name, all[2].actor.name, #all)
    log("ray misses", rayCast(0, 200, 400, 200))
    log("area", names(queryArea(80, 80, 220, 120)), "|", names(queryCircle(100, 100, 5)), "|",
      names(queryArea(120, 80, 180, 120)))
  elseif updates == 120 then
    local angle = joint("hinge"):angle()
    log("hinge", angle, "holds", angle >= -45.5 and angle < -40)
    log("rope", longestRope, ropeHandle:length(), "keeps its length",
      longestRope <= 50.5 and ropeHandle:length() > 49)
    actor("ball"):destroy()
  elseif updates == 121 then
    log("rope gone", ropeHandle:isAlive(), joint("rope"), pcall(ropeHandle.length, ropeHandle))
    local motor = joint("motor")
    motor:destroy()
    log("motor destroyed", motor:isAlive(), joint("motor"))
  end
end

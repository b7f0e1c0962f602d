-- The scenes a game shows at once: scenes pushed over a paused scene (a pause menu over the
-- game) and the fade and slide transitions of changeScene, with the functions behaviours call.
--
-- game.scene is always the scene that runs and takes input. The scenes under it wait in
-- `below` (bottom first); a transition holds the scenes it is taking off the screen in `from`.
-- Behaviours ask for changes while a frame runs; the changes are carried out in order at the
-- start of the next frame, and those asked for after a transition wait until it has ended.
local math, string, table, unpack = math, string, table, unpack  -- the engine's own, whatever games do
local sg = scenegraph
local Behaviours = Engine.Behaviours
local api = Behaviours.api
local messages = Behaviours.messages

local Stack = {}
Engine.Stack = Stack

-- Also found by the project check in a behaviour's source.
function messages.unknownTransition(name)
  return string.format("changeScene: unknown transition '%s'; use \"fade\" or \"slide\"", name)
end

-- Scenes pushed over the running one, at most: each keeps everything it holds (pictures,
-- bodies, sounds) and is drawn every frame, and a deeper pile is most likely a push repeated
-- every frame.
local kMaxPushed = 8
-- Input waits for a transition, so one may not last longer than this.
local kMaxSeconds = 10
local kDefaultSeconds = 0.5
local kFadeColor = {0, 0, 0, 1}
Stack.transitions = {fade = true, slide = true}
-- Where a slide moves the scenes, as a fraction of the display per axis (y grows upwards).
local kSlideDirections = {left = {-1, 0}, right = {1, 0}, up = {0, 1}, down = {0, -1}}

local function stateOf(game)
  local state = game.sceneStack
  if not state then
    state = {below = {}, requests = {}}
    game.sceneStack = state
  end
  return state
end

-- --- Ending scenes ---

-- Ends the scenes, the last first, and lets go of the pictures and sounds only they used.
function Stack.endScenes(scenes)
  if #scenes == 0 then return end
  for index = #scenes, 1, -1 do scenes[index]:destroy() end
  collectgarbage()
  if sharedAssetManager then assetManager.flushAssets(sharedAssetManager) end
end

-- Takes every scene the game shows off the screen, bottom first (the running one last), and
-- forgets what was asked for: the caller ends them.
function Stack.takeAll(game)
  local scenes, state = {}, game.sceneStack
  if state then
    local transition = state.transition
    for _, scene in ipairs(transition and transition.from or {}) do scenes[#scenes + 1] = scene end
    for _, scene in ipairs(state.below) do scenes[#scenes + 1] = scene end
    if state.quad then state.quad.graph:delete() end
    game.sceneStack = nil
  end
  scenes[#scenes + 1] = game.scene
  game.scene = nil
  return scenes
end

-- The scenes shown now, bottom first, taken off the game for a transition.
local function takeShown(game, state)
  local scenes = state.below
  scenes[#scenes + 1] = game.scene
  state.below, game.scene = {}, nil
  return scenes
end

-- --- Pausing the scene below ---

local function pulse(player, port)
  player[port]:setValue(true, true)
  pcall(player.compute, player)
  player[port]:setValue(false, true)
end

-- The scene's sounds that play now wait; a paused scene is not updated, so its behaviours,
-- tweens, timers, emitters and physics wait too.
local function pause(scene)
  local paused = {}
  local function hold(player)
    if player.playing:value() == true then
      pulse(player, "pause")
      paused[#paused + 1] = player
    end
  end
  for actor in pairs(scene.soundActors) do
    if actor.player then hold(actor.player) end
  end
  for _, player in ipairs(scene.soundPlayers) do hold(player) end
  scene.pausedPlayers = paused
end

local function resume(scene)
  for _, player in ipairs(scene.pausedPlayers or {}) do pulse(player, "resume") end
  scene.pausedPlayers = nil
end

-- --- Carrying out what was asked for ---

-- Puts requests back in front of those the state holds now (asked for by the new scene's onStart).
local function carry(game, pending)
  local state = stateOf(game)
  for _, request in ipairs(state.requests) do pending[#pending + 1] = request end
  state.requests = pending
end

local function startFade(game, state, request)
  state.transition = {kind = "fade", name = request.name, seconds = request.seconds, elapsed = 0,
    from = takeShown(game, state)}
end

local function startSlide(game, state, request)
  local transition = {kind = "slide", seconds = request.seconds, elapsed = 0, direction = request.direction,
    from = takeShown(game, state)}
  state.transition = transition
  if not game:startScene(request.name) then
    state.transition = nil
    Stack.endScenes(transition.from)
  end
end

local perform = {}

function perform.change(game, state, request)
  if request.transition == "fade" then return startFade(game, state, request) end
  if request.transition == "slide" then return startSlide(game, state, request) end
  local since = state.requests
  game:switchToScene(request.name)
  carry(game, since)
end

function perform.push(game, state, request)
  local below = game.scene
  if below then
    pause(below)
    state.below[#state.below + 1] = below
    game.scene = nil
  end
  if not game:startScene(request.name) and below then
    -- The pushed scene could not be built (reported): the scene below goes on.
    state.below[#state.below] = nil
    game.scene = below
    resume(below)
  end
end

function perform.pop(game, state, request)
  local below = table.remove(state.below)
  if not below then
    Engine.report(request.where .. "popScene: the scene to end was never shown (pushScene could not build it)")
    return
  end
  local top = game.scene
  game.scene = below
  resume(below)
  Stack.endScenes({top})
end

-- Carries out the requests made before this frame, in order; those made meanwhile (by the
-- onStart of a scene started here) wait for the next frame, and a transition started here
-- holds the rest until it has ended.
local function carryOutRequests(game)
  local requests = game.sceneStack.requests
  game.sceneStack.requests = {}
  for index, request in ipairs(requests) do
    local state = stateOf(game)
    if state.transition then
      carry(game, {unpack(requests, index)})
      return
    end
    perform[request.kind](game, state, request)
  end
end

-- The fade is half over: the scenes it took off end and the new one starts, under the fade.
local function fadeIn(game, state, transition)
  local pending = state.requests
  game:switchToScene(transition.name)  -- ends the scenes in transition.from too
  transition.from = nil
  carry(game, pending)
  if game.scene then stateOf(game).transition = transition end
end

local function advance(game, state, transition, dt)
  transition.elapsed = transition.elapsed + dt
  if transition.kind == "fade" and transition.from and transition.elapsed >= transition.seconds / 2 then
    fadeIn(game, state, transition)
    state = game.sceneStack
  end
  if state and state.transition == transition and transition.elapsed >= transition.seconds then
    state.transition = nil
    if transition.from then Stack.endScenes(transition.from) end
  end
end

-- At the start of a frame: moves a running transition on (while the game plays), then carries
-- out the changes asked for since the last frame.
function Stack.frame(game, dt)
  local state = game.sceneStack
  if not state then return end
  local transition = state.transition
  if transition and game.playing then advance(game, state, transition, dt) end
  carryOutRequests(game)
end

-- Whether a transition runs: input then reaches no scene.
function Stack.inTransition(game)
  local state = game.sceneStack
  return state ~= nil and state.transition ~= nil
end

-- --- Drawing ---

-- A full-screen rectangle drawn over everything so far: the fade, and the background of a
-- pushed scene. One sprite in a scene graph of its own, made when first needed.
local function screenQuad(game)
  local state = stateOf(game)
  if state.quad then return state.quad end
  local graph = sg.scene.new(sharedSoundManager, sharedAssetManager)
  local space = graph:createSpace(sg.ortho2DSpace)
  space.width:setValue(game.width, true)
  space.height:setValue(game.height, true)
  space.near:setValue(-1, true)
  space["far"]:setValue(1, true)
  local color = space:createNode(sg.colorNode)
  local sprite = space:createNode(sg.spriteNode)
  sprite.color:setValue(color.output)
  sprite.width:setValue(game.width, true)
  sprite.height:setValue(game.height, true)
  state.quad = {graph = graph, space = space, color = color, sprite = sprite}
  return state.quad
end

local function drawQuad(game, color, alpha, dx, dy)
  alpha = color[4] * alpha
  if alpha <= 0 then return end
  local quad = screenQuad(game)
  quad.color.r:setValue(color[1], true)
  quad.color.g:setValue(color[2], true)
  quad.color.b:setValue(color[3], true)
  quad.color.a:setValue(alpha, true)
  quad.sprite.x:setValue(game.width / 2 + dx, true)
  quad.sprite.y:setValue(game.height / 2 + dy, true)
  quad.space:compute()
end

-- Draws a scene moved by dx, dy: its layers' views are moved while it draws, then put back.
local function drawScene(game, scene, dx, dy, over)
  local layers = scene.layers
  local moved = dx ~= 0 or dy ~= 0
  if moved then
    for _, space in ipairs(layers) do
      space.x:setValue(space.x:value() - dx, true)
      space.y:setValue(space.y:value() - dy, true)
    end
  end
  if over then
    -- Over another scene its background is painted (with its alpha) instead of cleared to.
    drawQuad(game, scene.background, 1, dx, dy)
    for _, space in ipairs(layers) do space:compute() end
  else
    scene:render()
  end
  if moved then
    for _, space in ipairs(layers) do
      space.x:setValue(space.x:value() + dx, true)
      space.y:setValue(space.y:value() + dy, true)
    end
  end
end

-- Draws the scenes bottom first; the first clears the screen unless `over` says it is drawn
-- over what is there.
local function drawScenes(game, scenes, dx, dy, over)
  for index, scene in ipairs(scenes) do drawScene(game, scene, dx, dy, over or index > 1) end
end

-- Eases a slide in and out: 0 at the start, 0.5 half way, 1 at the end.
local function smooth(t)
  t = math.max(0, math.min(1, t))
  return t * t * (3 - 2 * t)
end

function Stack.render(game)
  local state = game.sceneStack
  local transition = state and state.transition
  if not transition and not (state and state.below[1]) then
    if game.scene then game.scene:render() end
    return
  end
  local progress = transition and transition.elapsed / transition.seconds or 0
  if transition and transition.kind == "slide" then
    local along, direction = smooth(progress), transition.direction
    local width, height = game.width * direction[1], game.height * direction[2]
    drawScenes(game, transition.from, width * along, height * along, false)
    if game.scene then drawScenes(game, {game.scene}, width * (along - 1), height * (along - 1), true) end
    return
  end
  local scenes = transition and transition.from or state.below
  drawScenes(game, scenes, 0, 0, false)
  if game.scene then drawScene(game, game.scene, 0, 0, scenes[1] ~= nil) end
  if transition then drawQuad(game, kFadeColor, 1 - math.abs(1 - 2 * math.min(progress, 1)), 0, 0) end
end

-- --- What behaviours call ---

local function sceneNamed(what, name)
  if type(name) ~= "string" and type(name) ~= "number" then
    error(string.format("%s: the scene name must be a string, got %s", what, type(name)), 3)
  end
  name = tostring(name)
  local project = Engine.game.project
  if not (project and project.scenes[name]) then error(messages.noScene(name, what), 3) end
  return name
end

-- How many scenes will be pushed once every request has been carried out.
local function plannedDepth(game)
  local state = game.sceneStack
  if not state then return 0 end
  local depth = state.transition and 0 or #state.below
  for _, request in ipairs(state.requests) do
    if request.kind == "push" then
      depth = depth + 1
    elseif request.kind == "pop" then
      depth = depth - 1
    else
      depth = 0
    end
  end
  return depth
end

local kOptions = {transition = true, seconds = true, direction = true}

-- The change a changeScene call asks for, its options checked (errors blame the caller's line).
local function changeRequest(name, options)
  local request = {kind = "change", name = name}
  if options == nil then return request end
  if type(options) ~= "table" then
    error("changeScene: the options must be a table such as {transition = \"fade\", seconds = 0.5}, got " ..
      type(options), 3)
  end
  for key in pairs(options) do
    if not kOptions[key] then
      error(string.format("changeScene: unknown option '%s'; the options are transition, seconds and direction",
        tostring(key)), 3)
    end
  end
  local transition, seconds, direction = options.transition, options.seconds, options.direction
  if transition == nil then
    if next(options) then error("changeScene: say which transition the options are for: transition = \"fade\" or \"slide\"", 3) end
    return request
  end
  if not Stack.transitions[transition] then error(messages.unknownTransition(tostring(transition)), 3) end
  if seconds ~= nil and (type(seconds) ~= "number" or not (seconds > 0 and seconds <= kMaxSeconds)) then
    error(string.format("changeScene: seconds must be a number above 0 and at most %d, got %s", kMaxSeconds,
      tostring(seconds)), 3)
  end
  if direction ~= nil and (transition ~= "slide" or not kSlideDirections[direction]) then
    error(string.format("changeScene: direction is \"left\", \"right\", \"up\" or \"down\" and goes with " ..
      "transition = \"slide\"; got %s", tostring(direction)), 3)
  end
  request.transition, request.seconds = transition, seconds or kDefaultSeconds
  request.direction = kSlideDirections[direction or "left"]
  return request
end

-- Every scene shown ends and the named one starts, at the start of the next frame (after a
-- transition that runs); requests made before it are dropped, as their scenes end anyway.
function api.changeScene(name, options)
  name = sceneNamed("changeScene", name)
  local request = changeRequest(name, options)
  stateOf(Engine.game).requests = {request}
end

function api.pushScene(name, ...)
  name = sceneNamed("pushScene", name)
  if select("#", ...) > 0 then
    error("pushScene: give the scene name only (transitions are for changeScene)", 2)
  end
  local game = Engine.game
  if plannedDepth(game) >= kMaxPushed then
    error(string.format("pushScene: %d scenes are pushed already, the most there can be; popScene one first",
      kMaxPushed), 2)
  end
  local requests = stateOf(game).requests
  requests[#requests + 1] = {kind = "push", name = name}
end

function api.popScene(...)
  if select("#", ...) > 0 then error("popScene takes no arguments: it ends the scene on top", 2) end
  local game = Engine.game
  if plannedDepth(game) <= 0 then
    error("popScene: no scene is pushed; popScene ends a scene that pushScene put over another", 2)
  end
  local requests = stateOf(game).requests
  requests[#requests + 1] = {kind = "pop", where = Engine.where(2)}
end

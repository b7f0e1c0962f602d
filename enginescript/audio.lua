-- Sound of the scene and music: layer volumes over the sound actors, and music playlists read
-- from game.xml and scene documents, with the behaviour functions that drive them.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Format = Engine.Format
local Audio = {}
Engine.Audio = Audio

-- A level or a number of seconds read from a document: 0 and up. Anything else is reported
-- at `where` and `fallback` is used.
local function amount(where, what, value, fallback)
  if value >= 0 and value < math.huge then return value end
  Engine.report(string.format("%s%s must be 0 or more, got %s; %s is used", where, what, tostring(value),
    tostring(fallback)))
  return fallback
end

-- --- Layer volumes ---

-- Each scene keeps its layers by space: the layer's own space and the spaces of the groups
-- inside it, so that an actor finds its layer from the space it was built in.
function Audio.addLayer(scene, space, values, node)
  scene.audioLayers = scene.audioLayers or {}
  scene.layersByName = scene.layersByName or {}
  local where = Format.where(scene.file, node) .. ": layer: "
  local layer = {name = values.name, volume = amount(where, "volume", values.volume, 1),
    actors = setmetatable({}, {__mode = "k"})}
  scene.audioLayers[space] = layer
  if values.name and not scene.layersByName[values.name] then scene.layersByName[values.name] = layer end
end

function Audio.addGroup(scene, group, space)
  if scene.audioLayers then scene.audioLayers[group] = scene.audioLayers[space] end
end

-- The level a sound actor plays at: its own volume times its layer's. The actor is then one of
-- the layer's, and follows its volume.
function Audio.soundVolume(actor)
  local layer = actor.scene.audioLayers and actor.scene.audioLayers[actor.space]
  if not layer then return actor.values.volume end
  layer.actors[actor] = true
  return actor.values.volume * layer.volume
end

local function layerNamed(scene, name, level)
  local layer = scene.layersByName and scene.layersByName[name]
  if not layer then
    error(string.format("no layer named '%s' in %s; give a <layer> name=\"%s\"", name, scene.file, name), level + 1)
  end
  return layer
end

function Audio.setLayerVolume(scene, name, volume)
  local layer = layerNamed(scene, name, 3)
  layer.volume = volume
  for actor in pairs(layer.actors) do
    if actor.player then actor.player.volume:setValue(actor.values.volume * volume, true) end
  end
end

-- --- Playlists ---

-- Reads a <playlist> of game.xml (owner: the project) or of a scene document (owner: the
-- scene) into owner.playlists, and starts it when it says autoplay.
function Audio.readPlaylist(owner, project, file, node)
  local values = Format.attributes(node, file, "playlist")
  local where = Format.where(file, node) .. ": "
  if not values.name then
    Engine.report(where .. "<playlist> without a name; ignored")
    return
  end
  values.fade = amount(where .. "playlist '" .. values.name .. "': ", "fade", values.fade, 0)
  values.volume = amount(where .. "playlist '" .. values.name .. "': ", "volume", values.volume, 1)
  values.tracks = {}
  for _, child in ipairs(Format.children(node, file, "playlist")) do
    local track = Format.attributes(child.node, file, "track")
    local trackWhere = Format.where(file, child.node) .. ": "
    if track.file then
      values.tracks[#values.tracks + 1] = {file = track.file, where = trackWhere}
    else
      Engine.report(trackWhere .. "<track> without a file; add file=\"NAME\" naming a file of sounds/")
    end
  end
  if not values.tracks[1] then
    Engine.report(string.format("%splaylist '%s' has no track; add <track file=\"NAME\"/>", where, values.name))
  end
  owner.playlists = owner.playlists or {}
  owner.playlists[values.name] = values
  if values.autoplay then Audio.playPlaylist(values, project) end
end

-- Plays a playlist of the project read by readPlaylist; one of that name that plays already
-- goes on. Tracks whose files are missing are reported (once) and left out.
function Audio.playPlaylist(playlist, project)
  if not musicPlaylist then return end
  if Audio.playing == playlist.name and musicPlaylist.track() then return end
  local paths, names = {}, {}
  for _, track in ipairs(playlist.tracks) do
    if project:checkAsset("music", track.where, track.file) then
      local path = project:pathForSound(track.file)
      paths[#paths + 1] = path
      names[path] = track.file
    end
  end
  Audio.playing, Audio.trackNames = playlist.name, names
  if platformWrappers then platformWrappers.stopMusic() platformWrappers.setMusicVolume(Engine.game.volume) end
  musicPlaylist.play(paths, {shuffle = playlist.shuffle, loop = playlist.loop, fade = playlist.fade,
    volume = playlist.volume})
end

-- Stops the music file at once and the playlist over `seconds`.
function Audio.stopMusic(seconds)
  if platformWrappers and platformWrappers.stopMusic then platformWrappers.stopMusic() end
  if musicPlaylist then musicPlaylist.stop(seconds or 0) end
  Audio.playing = nil
end

-- Every frame: the playlist's fades and track changes.
function Audio.update()
  if musicPlaylist then musicPlaylist.update() end
end

-- For the project check: every track of the playlists of game.xml.
function Audio.checkPlaylists(project)
  for _, playlist in pairs(project.playlists or {}) do
    for _, track in ipairs(playlist.tracks) do project:checkAsset("music", track.where, track.file) end
  end
end

-- --- The behaviour functions ---

local api = Engine.Behaviours.api

local function checkName(value, what, level)
  if type(value) ~= "string" then error(string.format("%s must be a string, got %s", what, type(value)), level + 1) end
  return value
end

function api.setLayerVolume(name, volume)
  local scene = Engine.game.scene
  if not scene then return end
  checkName(name, "setLayerVolume: the layer name", 2)
  if type(volume) ~= "number" or not (volume >= 0 and volume < math.huge) then
    error("setLayerVolume: the volume must be a number of 0 or more, got " .. tostring(volume), 2)
  end
  Audio.setLayerVolume(scene, name, volume)
end

function api.layerVolume(name)
  local scene = Engine.game.scene
  if not scene then return nil end
  return layerNamed(scene, checkName(name, "layerVolume: the layer name", 2), 2).volume
end

-- The text of the error for a playlist that neither the scene document nor game.xml has; a
-- project check finds the same in a behaviour's source (check.lua).
function Audio.noPlaylist(name, sceneFile)
  return string.format("playPlaylist: no playlist named '%s' in %s or game.xml; add <playlist name=\"%s\">", name,
    sceneFile, name)
end

-- The scene's playlist of that name, else game.xml's.
function api.playPlaylist(name)
  checkName(name, "playPlaylist: the playlist name", 2)
  local scene, project = Engine.game.scene, Engine.game.project
  local playlist = (scene and scene.playlists and scene.playlists[name]) or (project and project.playlists and project.playlists[name])
  if not playlist then error(Audio.noPlaylist(name, scene and scene.file or "the scene"), 2) end
  Audio.playPlaylist(playlist, project)
end

function api.nextTrack()
  if musicPlaylist then musicPlaylist.next() end
end

-- The file (as the playlist names it) of the track that plays, or nil.
function api.musicTrack()
  local path = musicPlaylist and musicPlaylist.track()
  return path and Audio.trackNames and Audio.trackNames[path]
end


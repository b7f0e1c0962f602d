-- A button: a click goes to the scene of its "scene" property, or opens its "address".
function onClick()
  local scene = self:property("scene")
  if scene then
    changeScene(scene)
  else
    openURL(self:property("address"))
  end
end

-- The styles scene's score label: markup, an outline and a shadow set by a behaviour.
function onStart()
  self:setMarkup("Score [b][color=#ffd040]1200[/color][/b]")
  self:setOutline(0.3, 0.15, 0, 1, 2)
  self:setShadow(0, 0, 0, 0.5, 2, -3)
end

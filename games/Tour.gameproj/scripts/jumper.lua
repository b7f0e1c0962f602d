-- Jumps once, then rests: onAnimationEnd switches to the resting animation and says so.
function onAnimationEnd(name)
  if name == "jump" then
    self:playAnimation("rest")
    actor("jumpState"):setText("then rest 8-5")
  end
end

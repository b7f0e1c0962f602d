-- Says which actor was clicked, and where in its layer's units.
function onClick(x, y)
  log(string.format("click %s %.1f %.1f", self.name, x, y))
end

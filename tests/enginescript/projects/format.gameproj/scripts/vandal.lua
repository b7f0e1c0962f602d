-- Replaces library functions in its own view, and starts updating only once it has started.
string.format = function() return "vandalised" end
table.remove = nil
math.floor = nil

function onStart()
  function onUpdate()
    updatedLater = (updatedLater or 0) + 1
  end
end

-- Runs under the second half of the fade; keys reach it only once the fade has ended.
function onStart() log("fadeTo starts") end
function onKeyDown(key) log("fadeTo key", key) end

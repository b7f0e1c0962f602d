-- A small assertion helper for Lua tests that run as the engine script of a real engine state.
local check = {passed = 0, failed = 0}

local function describe(value)
  if type(value) == "string" then return string.format("%q", value) end
  return tostring(value)
end

local function fail(message, level)
  error(message, (level or 1) + 2)
end

function check.equal(actual, expected, what)
  if actual ~= expected then
    fail(string.format("%s: expected %s, got %s", what or "value", describe(expected), describe(actual)))
  end
end

function check.near(actual, expected, tolerance, what)
  if type(actual) ~= "number" or math.abs(actual - expected) > tolerance then
    fail(string.format("%s: expected %s within %s, got %s", what or "value", describe(expected),
      describe(tolerance), describe(actual)))
  end
end

function check.truthy(value, what)
  if not value then fail((what or "value") .. ": expected a true value, got " .. describe(value)) end
end

function check.falsy(value, what)
  if value then fail((what or "value") .. ": expected false or nil, got " .. describe(value)) end
end

-- Calls fn with the arguments and expects it to raise an error whose text contains pattern
-- (a plain substring). Returns the error text.
function check.raises(pattern, fn, ...)
  local ok, err = pcall(fn, ...)
  if ok then fail("expected an error containing " .. describe(pattern) .. ", but the call succeeded") end
  err = tostring(err)
  if pattern and not string.find(err, pattern, 1, true) then
    fail("expected an error containing " .. describe(pattern) .. ", got " .. describe(err))
  end
  return err
end

-- Runs one named test; a failure is printed and counted, the next test still runs.
function check.test(name, fn)
  local ok, err = xpcall(fn, debug.traceback)
  if ok then
    check.passed = check.passed + 1
  else
    check.failed = check.failed + 1
    io.stderr:write("FAIL ", name, ": ", tostring(err), "\n")
  end
end

-- Ends the file: raises when any test failed, so the engine host reports it and qzrun
-- exits non-zero. Defines an empty initEngine when the file has none.
function check.finish()
  initEngine = initEngine or function() end
  print(string.format("%d passed, %d failed", check.passed, check.failed))
  if check.failed > 0 then error(check.failed .. " test(s) failed", 0) end
  if check.passed == 0 then error("no test ran", 0) end
end

-- A fresh scratch folder for this test file (qzrun's save path is inside it).
function check.workDir()
  return os.getenv("QZ_TEST_WORK") or "."
end

return check

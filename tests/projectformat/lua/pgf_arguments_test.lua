-- pgf writer methods count their arguments back from the last one.
local check = require("check")
local W = pgf.writer

check.test("extra leading arguments do not shift the meaning of the others", function()
  local w = W.newToString("json")
  W.startDocument("extra", w)
  W.startElement("extra", w, "a")
  W.writeAttribute("extra", "more", w, "x", "1")
  W.writeTextValue("extra", w, "hi")
  W.endElement("extra", w)
  W.endDocument("extra", w)
  check.equal(W.getString("extra", w), '{"_type":"a","x":"1","_text":"hi"}', "document")
  check.equal(W.close("extra", w), true, "close")
end)

check.test("argument errors name the argument where the script wrote it", function()
  local w = W.newToString()
  check.raises("#1 to 'startElement' (string expected, got no value)", function() w:startElement() end)
  check.raises("bad argument #3 to '?' (string expected, got table)", W.writeAttribute, w, "x", {})
  W.close(w)
end)

check.finish()

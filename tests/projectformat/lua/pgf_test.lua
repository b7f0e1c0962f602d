-- Tests of the pgf script library: reading documents, writer objects, formats and misuse.
local check = require("check")
local work = check.workDir()
local W = pgf.writer

-- name(attr=value,...)"text" or name(...)[child,child], attributes sorted by name.
local function describe(node)
  local names, children = {}, {}
  for key in pairs(node) do if type(key) == "string" then names[#names + 1] = key .. "=" .. node[key] end end
  table.sort(names)
  for _, child in ipairs(node) do children[#children + 1] = type(child) == "table" and describe(child) or "" end
  local out = node[0] .. (#names > 0 and "(" .. table.concat(names, ",") .. ")" or "")
  if type(node[1]) == "string" then return out .. string.format("%q", node[1]) end
  return #children > 0 and out .. "[" .. table.concat(children, ",") .. "]" or out
end

local function readFile(path)
  local file = assert(io.open(path, "rb"))
  return file:read("*a"), file:close()
end

-- Writes <a x="1"><b>hi</b></a>.
local function writeSample(w)
  w:startDocument() w:startElement("a") w:writeAttribute("x", "1")
  w:startElement("b") w:writeTextValue("hi") w:endElement() w:endElement() w:endDocument()
end

check.test("loadString and loadFile build trees of strings, also called with a colon", function()
  local root = pgf.loadString('<a x="1" n="2.50"><b>hi</b>between<c/></a>')
  check.equal(describe(root), 'a(n=2.50,x=1)[b"hi",c]')
  check.equal(describe(pgf.parser:loadString("<z/>")), "z", "colon syntax")
  local path = work .. "/doc.xml"
  local file = assert(io.open(path, "wb"))
  file:write("<?xml version='1.0'?>\n<doc k='&amp;'><e>caf\195\169</e></doc>\n")
  file:close()
  check.equal(describe(pgf.loadFile(path)), 'doc(k=&)[e"caf\195\169"]')
  check.equal(describe(pgf.parser.loadFile(path)), 'doc(k=&)[e"caf\195\169"]')
end)

check.test("documents that cannot be read give no value at all; bad arguments are errors", function()
  local deep = string.rep("<e>", 100000) .. string.rep("</e>", 100000)
  for _, text in ipairs({"<a>", "", "\0\1\2garbage", deep}) do check.equal(select("#", pgf.loadString(text)), 0) end
  check.equal(select("#", pgf.loadFile(work .. "/missing.xml")), 0)
  check.raises("bad argument #1", pgf.loadString, {})
  check.raises("zero byte", pgf.loadFile, "doc\0.xml")
end)

check.test("the format chooses the writer", function()
  local starts = {[1] = "<?xml ", xml = "<?xml ", JSON = "<?xml ", json = '{"_type":"a"',
                  ["json-pretty"] = '{\n\t"_type": "a"'}
  for format, start in pairs(starts) do
    local writer = W.newToString(format ~= 1 and format or nil)
    check.equal(getmetatable(writer), debug.getregistry()["pgf.writerMT"])
    writeSample(writer)
    check.equal(string.sub(writer:getString(), 1, #start), start, tostring(format))
    writer:close()
  end
end)

check.test("file writers leave complete files after close, or when collected unclosed", function()
  local xmlPath, jsonPath = work .. "/out.xml", work .. "/collected.json"
  local xml = W.newToFile(xmlPath)
  writeSample(xml)
  check.equal(xml:getString(), nil)
  check.equal(xml:close(), true)
  check.equal(readFile(xmlPath), '<?xml version="1.0" encoding="UTF-8"?>\n<a x="1"><b>hi</b></a>\n')
  writeSample(W.newToFile(jsonPath, "json"))
  collectgarbage()
  collectgarbage()
  check.equal(readFile(jsonPath), '{"_type":"a","x":"1","_children":[{"_type":"b","_text":"hi"}]}')
end)

check.test("a writer that cannot be created is nil with the reason; close reports a failed write", function()
  local writer, message = W.newToFile(work .. "/no/such/folder/out.xml")
  check.equal(writer, nil)
  check.truthy(string.find(message, "no/such/folder/out.xml", 1, true), message)
  check.equal(select("#", W.newToFile(work .. "/no/such/folder/out.json", "json-pretty")), 2)
  writer = W.newToFile("/dev/full")
  if not writer then return end  -- a system without /dev/full
  writeSample(writer)
  local ok
  ok, message = writer:close()
  check.equal(ok, nil)
  check.truthy(string.find(message, "cannot write '/dev/full'", 1, true), message)
end)

check.test("the writer's own refusals come back as results; a closed writer refuses every call", function()
  local writer = W.newToString("json")
  check.equal(writer:endElement(), 0)
  check.equal(W.newToString():endElement(), -1)
  writer:close()
  check.equal(select("#", writer:close()), 0)
  for name, args in pairs({startDocument = {}, endDocument = {}, startElement = {"a"}, endElement = {},
                           writeAttribute = {"a", "b"}, writeTextValue = {"a"}, getString = {}}) do
    check.raises("closed writer", W[name], writer, unpack(args))
  end
end)

check.test("writer methods count their arguments back from the last one", function()
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
  local writer = W.newToString()
  check.raises("#1 to 'startElement' (string expected, got no value)", function() writer:startElement() end)
  check.raises("bad argument #3 to '?' (string expected, got table)", W.writeAttribute, writer, "x", {})
  check.raises("bad argument #1", W.startElement, {}, "a")
  check.raises("bad argument #1", W.startElement, io.stdout, "a")
  check.raises("bad argument #3", writer.writeAttribute, writer, "x")
  check.raises("bad argument #1", W.newToFile)
  check.raises("bad argument #1", W.newToString, {})
  check.raises("zero byte", W.newToFile, work .. "/a\0b")
  check.raises("bad argument #1", getmetatable(writer).__gc, {})
  writer:close()
end)

check.test("a read leaves the collector running or stopped as the script left it", function()
  for _, text in ipairs({"<a><b x='1'/></a>", "<a><unclosed></a>"}) do
    for _, stopped in ipairs({false, true}) do
      if stopped then collectgarbage("stop") end
      pgf.parser.loadString(text)
      local before = collectgarbage("count")
      for i = 1, 200000 do local garbage = {i} end
      local kept = collectgarbage("count") - before >= 4096
      collectgarbage("restart")
      check.equal(kept, stopped, "garbage kept after reading " .. text .. " (collector stopped)")
    end
  end
end)

-- Left open on purpose: the interpreter's shutdown releases it.
leftOpen = W.newToFile(work .. "/left-open.xml")
leftOpen:startElement("a")

check.finish()

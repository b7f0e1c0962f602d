-- Tests of the pgf script library: reading documents, writer objects, formats and misuse.
local check = require("check")
local work = check.workDir()

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
  local text = file:read("*a")
  file:close()
  return text
end

local function writeSample(writer)
  writer:startDocument()
  writer:startElement("a")
  writer:writeAttribute("x", "1")
  writer:startElement("b")
  writer:writeTextValue("hi")
  writer:endElement()
  writer:endElement()
  writer:endDocument()
end

check.test("the library offers the reader twice and the writer functions as methods", function()
  check.equal(type(pgf.loadFile), "function")
  check.equal(type(pgf.parser.loadString), "function")
  local writer = pgf.writer.newToString()
  check.equal(getmetatable(writer).__index, pgf.writer)
  check.equal(getmetatable(writer), debug.getregistry()["pgf.writerMT"])
  writer:close()
end)

check.test("loadString and loadFile build trees of strings", function()
  local root = pgf.loadString('<a x="1" n="2.50"><b>hi</b>between<c/></a>')
  check.equal(describe(root), 'a(n=2.50,x=1)[b"hi",c]')
  check.equal(type(root.n), "string")
  check.equal(root[3], nil)
  check.equal(describe(pgf.parser:loadString("<z/>")), "z", "colon syntax")

  local path = work .. "/doc.xml"
  local file = assert(io.open(path, "wb"))
  file:write("<?xml version='1.0' encoding='UTF-8'?>\n<doc k='&amp;'><e>caf\195\169</e></doc>\n")
  file:close()
  check.equal(describe(pgf.loadFile(path)), 'doc(k=&)[e"caf\195\169"]')
  check.equal(describe(pgf.parser.loadFile(path)), 'doc(k=&)[e"caf\195\169"]')
end)

check.test("documents that cannot be read give no value at all", function()
  check.equal(select("#", pgf.loadString("<a>")), 0)
  check.equal(select("#", pgf.loadString("")), 0)
  check.equal(select("#", pgf.loadString("\0\1\2garbage")), 0)
  check.equal(select("#", pgf.loadFile(work .. "/missing.xml")), 0)
  local deep = string.rep("<e>", 100000) .. string.rep("</e>", 100000)
  check.equal(select("#", pgf.loadString(deep)), 0)
end)

check.test("reader arguments are checked", function()
  check.raises("bad argument #1", pgf.loadString)
  check.raises("bad argument #1", pgf.loadString, {})
  check.raises("zero byte", pgf.loadFile, "doc\0.xml")
end)

check.test("the format chooses the writer", function()
  local starts = {[1] = "<?xml ", xml = "<?xml ", JSON = "<?xml ", json = '{"_type":"a"',
                  ["json-pretty"] = '{\n\t"_type": "a"'}
  for format, start in pairs(starts) do
    local writer = pgf.writer.newToString(format ~= 1 and format or nil)
    writeSample(writer)
    local text = writer:getString()
    check.equal(string.sub(text, 1, #start), start, tostring(format))
    writer:close()
  end
end)

check.test("file writers leave complete files after close", function()
  local xmlPath, jsonPath = work .. "/out.xml", work .. "/out.json"
  local xml = pgf.writer.newToFile(xmlPath)
  local json = pgf.writer.newToFile(jsonPath, "json")
  writeSample(xml)
  writeSample(json)
  check.equal(xml:getString(), nil)
  check.equal(json:getString(), nil)
  check.equal(xml:close(), true)
  check.equal(json:close(), true)
  check.equal(readFile(xmlPath), '<?xml version="1.0" encoding="UTF-8"?>\n<a x="1"><b>hi</b></a>\n')
  check.equal(readFile(jsonPath), '{"_type":"a","x":"1","_children":[{"_type":"b","_text":"hi"}]}')
end)

check.test("a writer that cannot be created is nil with the reason", function()
  local writer, message = pgf.writer.newToFile(work .. "/no/such/folder/out.xml")
  check.equal(writer, nil)
  check.truthy(string.find(message, "no/such/folder/out.xml", 1, true), message)
  writer, message = pgf.writer.newToFile(work .. "/no/such/folder/out.json", "json-pretty")
  check.equal(writer, nil)
  check.truthy(message)
end)

check.test("close reports a file that could not be written", function()
  local writer = pgf.writer.newToFile("/dev/full")
  if not writer then return end  -- a system without /dev/full
  writeSample(writer)
  local ok, message = writer:close()
  check.equal(ok, nil)
  check.truthy(string.find(message, "cannot write '/dev/full'", 1, true), message)
end)

check.test("a closed writer refuses every call and a second close does nothing", function()
  local writer = pgf.writer.newToString("json")
  writer:close()
  check.equal(select("#", writer:close()), 0)
  for name, args in pairs({startDocument = {}, endDocument = {}, startElement = {"a"}, endElement = {},
                           writeAttribute = {"a", "b"}, writeTextValue = {"a"}, getString = {}}) do
    check.raises("closed writer", pgf.writer[name], writer, unpack(args))
  end
end)

check.test("wrong arguments to writer functions are Lua errors", function()
  local writer = pgf.writer.newToString()
  check.raises("bad argument #1", pgf.writer.startElement, {}, "a")
  check.raises("bad argument #1", pgf.writer.startElement, io.stdout, "a")
  check.raises("bad argument #1", pgf.writer.close)
  check.raises("bad argument #2", writer.startElement, writer)
  check.raises("bad argument #2", writer.startElement, writer, {})
  check.raises("bad argument #3", writer.writeAttribute, writer, "x")
  check.raises("bad argument #2", writer.writeTextValue, writer, nil)
  check.raises("bad argument #1", pgf.writer.newToFile)
  check.raises("bad argument #1", pgf.writer.newToString, {})
  check.raises("zero byte", pgf.writer.newToFile, work .. "/a\0b")
  check.raises("bad argument #1", getmetatable(writer).__gc, {})
  writer:close()
end)

check.test("writer misuse that is not an argument error is refused with the library's result", function()
  local xml = pgf.writer.newToString()
  check.equal(xml:writeTextValue("<evil/>"), -1)
  check.equal(xml:endElement(), -1)
  check.equal(xml:startElement("not a name"), -1)
  xml:close()
  local json = pgf.writer.newToString("json")
  check.equal(json:endElement(), 0)
  check.equal(json:startElement("a"), 1)
  check.equal(json:endElement(), 1)
  check.equal(json:startElement("b"), 0)
  json:close()
end)

check.test("a collected writer that was never closed finishes its file", function()
  local path = work .. "/collected.json"
  local writer = pgf.writer.newToFile(path, "json")
  writeSample(writer)
  writer = nil
  collectgarbage()
  collectgarbage()
  check.equal(readFile(path), '{"_type":"a","x":"1","_children":[{"_type":"b","_text":"hi"}]}')
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
leftOpen = pgf.writer.newToFile(work .. "/left-open.xml")
leftOpen:startElement("a")

check.finish()

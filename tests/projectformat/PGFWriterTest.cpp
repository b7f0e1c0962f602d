// Tests of the XML and JSON document writers: output form, escaping, status reports and file output.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "PGFJSONWriter.h"
#include "PGFXMLWriter.h"

namespace {

std::string scratchPath(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::path(QZ_BINARY_DIR) / "pgf-writer-test";
    std::filesystem::create_directories(folder);
    return (folder / name).string();
}

std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string textOf(PGFWriter& writer) {
    const std::optional<std::string_view> text = writer.getString();
    return text ? std::string(*text) : "<none>";
}

std::unique_ptr<PGFWriter> jsonWriter(bool beautify = false) {
    std::string error;
    return PGFJSONWriter::newToString(beautify, &error);
}

std::unique_ptr<PGFWriter> xmlWriter() {
    std::string error;
    return PGFXMLWriter::newToString(&error);
}

// Writes a with x=1, children b (text hi) and c, then the attribute z=2.
void writeSample(PGFWriter& writer) {
    writer.startDocument();
    writer.startElement("a");
    writer.writeAttribute("x", "1");
    writer.startElement("b");
    writer.writeTextValue("hi");
    writer.endElement();
    writer.startElement("c");
    writer.endElement();
    writer.writeAttribute("z", "2");
    writer.endElement();
    writer.endDocument();
}

TEST(PGFXMLWriterTest, WritesTheDeclarationAndEscapesTextAndAttributes) {
    auto writer = xmlWriter();
    EXPECT_GE(writer->startDocument(), 0);
    EXPECT_GE(writer->startElement("a"), 0);
    EXPECT_GE(writer->writeAttribute("x", "1&<\"\n\t'>"), 0);
    EXPECT_GE(writer->writeTextValue("a < b & c > \" \r"), 0);
    EXPECT_GE(writer->startElement("b"), 0);
    EXPECT_GE(writer->endElement(), 0);
    EXPECT_GE(writer->endDocument(), 0);
    EXPECT_EQ(textOf(*writer),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<a x=\"1&amp;&lt;&quot;&#10;&#9;'&gt;\">a &lt; b &amp; c &gt; &quot; &#13;<b/></a>\n");
}

TEST(PGFXMLWriterTest, RefusesWhatWouldMakeTheDocumentNotWellFormed) {
    auto writer = xmlWriter();
    writer->startDocument();
    EXPECT_EQ(writer->writeTextValue("<injected/>"), -1) << "text outside any element";
    EXPECT_EQ(writer->writeAttribute("x", "1"), -1) << "attribute outside any element";
    EXPECT_EQ(writer->endElement(), -1) << "no element to end";
    EXPECT_EQ(writer->startElement("1a"), -1);
    EXPECT_EQ(writer->startElement("a b"), -1);
    EXPECT_EQ(writer->startElement(std::string_view("a\0b", 3)), -1);
    EXPECT_EQ(writer->startElement("caf\xe9"), -1) << "a name that is not UTF-8";
    EXPECT_GE(writer->startElement("ns:a"), 0);
    EXPECT_EQ(writer->writeAttribute("x=", "1"), -1);
    EXPECT_EQ(writer->writeAttribute("n\xff", "1"), -1);
    EXPECT_EQ(writer->writeAttribute("x", "bell\x07"), -1);
    EXPECT_EQ(writer->writeTextValue("\xff\xfe"), -1) << "not UTF-8";
    EXPECT_EQ(writer->writeTextValue("\xed\xa0\x80"), -1) << "a UTF-16 surrogate";
    EXPECT_EQ(writer->writeTextValue(std::string_view("a\0b", 3)), -1);
    EXPECT_GE(writer->writeTextValue("caf\xc3\xa9 \xf0\x9f\x8e\xb2"), 0);
    EXPECT_GE(writer->endElement(), 0);
    EXPECT_EQ(writer->startElement("second"), -1) << "a second root";
    EXPECT_EQ(writer->startDocument(), -1) << "a declaration after the root";
    EXPECT_GE(writer->endDocument(), 0);
    EXPECT_EQ(writer->startDocument(), -1) << "a second document";
    EXPECT_EQ(textOf(*writer),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ns:a>caf\xc3\xa9 \xf0\x9f\x8e\xb2</ns:a>\n");

    auto twice = xmlWriter();
    EXPECT_GE(twice->startDocument(), 0);
    EXPECT_EQ(twice->startDocument(), -1) << "a second declaration";
    EXPECT_EQ(textOf(*twice), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

TEST(PGFWriterFileTest, UnopenableAndUnwritableFilesAreReported) {
    std::string error;
    EXPECT_EQ(PGFXMLWriter::newToFile("/nonexistent/folder/out.xml", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/folder/out.xml"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(PGFJSONWriter::newToFile("/nonexistent/folder/out.json", false, &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/folder/out.json"), std::string::npos) << error;

    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto xml = PGFXMLWriter::newToFile("/dev/full", &error);
    ASSERT_NE(xml, nullptr) << error;
    writeSample(*xml);
    EXPECT_FALSE(xml->finish(&error));
    EXPECT_NE(error.find("cannot write '/dev/full'"), std::string::npos) << error;

    testing::internal::CaptureStdout();
    auto json = PGFJSONWriter::newToFile("/dev/full", false, &error);
    ASSERT_NE(json, nullptr) << error;
    int lastResult = 1;
    for (int i = 0; i < 2000 && lastResult == 1; ++i) {
        lastResult = i == 0 ? json->startElement("a") : json->writeAttribute("k" + std::to_string(i), "value");
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(lastResult, 0) << "a failed write is reported once the stream flushes";
    EXPECT_FALSE(json->finish(&error));
}

// An element alone is an object with its type; attributes after children close the children
// array; the pretty form indents with tabs.
TEST(PGFJSONWriterTest, ElementsBecomeObjectsWithTheirTypeAndChildren) {
    auto alone = jsonWriter();
    EXPECT_EQ(alone->startDocument(), 0);
    EXPECT_EQ(alone->startElement("name"), 1);
    EXPECT_EQ(alone->endElement(), 1);
    EXPECT_EQ(alone->endDocument(), 0);
    EXPECT_EQ(textOf(*alone), "{\"_type\":\"name\"}");
    for (const bool pretty : {false, true}) {
        auto writer = jsonWriter(pretty);
        writeSample(*writer);
        EXPECT_EQ(textOf(*writer),
                  pretty ? "{\n\t\"_type\": \"a\",\n\t\"x\": \"1\",\n\t\"_children\": [\n"
                           "\t\t{\n\t\t\t\"_type\": \"b\",\n\t\t\t\"_text\": \"hi\"\n\t\t},\n"
                           "\t\t{\n\t\t\t\"_type\": \"c\"\n\t\t}\n\t],\n\t\"z\": \"2\"\n}\n"
                         : "{\"_type\":\"a\",\"x\":\"1\",\"_children\":[{\"_type\":\"b\",\"_text\":\"hi\"},"
                           "{\"_type\":\"c\"}],\"z\":\"2\"}");
    }
}

TEST(PGFJSONWriterTest, TextWrittenWhileTheChildrenArrayIsOpenLandsInTheArray) {
    auto writer = jsonWriter();
    writer->startElement("a");
    writer->startElement("b");
    writer->endElement();
    EXPECT_EQ(writer->writeTextValue("t \"q\" \\ \n"), 1);
    writer->endElement();
    EXPECT_EQ(textOf(*writer), "{\"_type\":\"a\",\"_children\":[{\"_type\":\"b\"},\"_text\",\"t \\\"q\\\" \\\\ \\n\"]}");
}

TEST(PGFJSONWriterTest, MisuseAndBadInputAreReportedWithStatusTexts) {
    auto writer = jsonWriter();
    testing::internal::CaptureStdout();
    EXPECT_EQ(writer->endElement(), 0) << "nothing to end";
    EXPECT_EQ(writer->writeAttribute("x", "1"), 0) << "no element";
    EXPECT_EQ(writer->startElement("a"), 1);
    EXPECT_EQ(writer->endElement(), 1);
    EXPECT_EQ(writer->endElement(), 0) << "more ends than starts";
    EXPECT_EQ(writer->startElement("second"), 0) << "a second root";
    EXPECT_EQ(writer->endElement(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "no element is open\nno element is open\nno element is open\n"
              "complete document has been generated\nin error state\n");
    EXPECT_EQ(textOf(*writer), "{\"_type\":\"a\"}");

    // Once an attribute has closed the children array, a further child has no key to go under.
    auto closed = jsonWriter();
    closed->startElement("a");
    closed->startElement("b");
    closed->endElement();
    closed->writeAttribute("z", "2");
    testing::internal::CaptureStdout();
    EXPECT_EQ(closed->startElement("c"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "keys must be strings\n");

    // Too deep or invalid input breaks the document and says so.
    auto deep = jsonWriter();
    testing::internal::CaptureStdout();
    int result = 1;
    for (int i = 0; i < 100 && result == 1; ++i) result = deep->startElement("e");
    EXPECT_EQ(result + deep->writeAttribute("x", "1"), 0);
    auto invalid = jsonWriter();
    invalid->startElement("a");
    EXPECT_EQ(invalid->writeAttribute("x", "\xff"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "max depth exceeded\nin error state\ninvalid UTF-8 string\n");
}

TEST(PGFJSONWriterTest, AFileWriterHasNoStringAndLeavesACompleteFile) {
    const std::string path = scratchPath("out.json");
    std::string error;
    auto writer = PGFJSONWriter::newToFile(path.c_str(), false, &error);
    ASSERT_NE(writer, nullptr) << error;
    EXPECT_EQ(writer->startElement("a"), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(textOf(*writer), "<none>");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "no internal buffer\n");
    EXPECT_EQ(writer->writeAttribute("x", "1"), 1) << "asking for the string does not break the writer";
    EXPECT_EQ(writer->endElement(), 1);
    EXPECT_TRUE(writer->finish(&error)) << error;
    EXPECT_EQ(contentsOf(path), "{\"_type\":\"a\",\"x\":\"1\"}");
}

}  // namespace

// The JSON document writer: a yajl generator into a file or into yajl's own buffer.
#ifndef PGF_JSON_WRITER_H
#define PGF_JSON_WRITER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <yajl/yajl_gen.h>

#include "PGFOutputFile.h"
#include "PGFWriter.h"

// Writes each element as one JSON object: "_type" with the element name first, then the
// attributes as string keys, the child elements in order in a "_children" array (opened
// by the first child, closed by the element's end or by an attribute that follows the
// children) and text under "_text". Every value is a string.
//
// Each writing call returns 1 on success and 0 on failure, printing the generator's status
// text on standard output. After a failed generation the document is no longer well formed,
// so every later writing call fails as "in error state".
class PGFJSONWriter : public PGFWriter {
public:
    // Null, with the reason in error, when the writer cannot be created.
    static std::unique_ptr<PGFJSONWriter> newToString(bool beautify, std::string* error);
    static std::unique_ptr<PGFJSONWriter> newToFile(const char* path, bool beautify, std::string* error);
    ~PGFJSONWriter() override;

    int startDocument() override;
    int endDocument() override;
    int startElement(std::string_view name) override;
    int endElement() override;
    int writeAttribute(std::string_view name, std::string_view value) override;
    int writeTextValue(std::string_view text) override;
    std::optional<std::string_view> getString() override;
    bool finish(std::string* error) override;

private:
    // The state of one open element.
    enum State : uint32_t {
        kTakesAttributes = 0,  // open; no child yet
        kChildrenOpen = 1,     // its "_children" array is open
        kChildrenClosed = 2,   // its "_children" array was closed by a later attribute
    };

    explicit PGFJSONWriter(bool beautify) : beautify_(beautify ? 1 : 0) {}
    bool createGenerator(bool toFile, std::string* error);
    static void printToFile(void* context, const char* bytes, size_t length);
    // Open and close the "_children" array of the innermost element, whose state must be
    // kTakesAttributes and kChildrenOpen respectively.
    int startChildren();
    int endChildren();
    int generateString(std::string_view text);
    // 1 for a good status, else 0 after printing the status text.
    int checkYajlStatus(yajl_gen_status status);
    // True when a writing call may generate; otherwise prints why not.
    bool canGenerate(bool needsOpenElement);

    yajl_gen generator_ = nullptr;  // owned; null once finished
    uint32_t beautify_;             // 0 or 1
    const char* indent_ = "\t";     // static text
    PGFOutputFile file_;            // open only for a file writer
    std::vector<uint32_t> states_;  // one per open element, innermost last
    bool failed_ = false;           // a generation failed: the output is broken
};

#endif

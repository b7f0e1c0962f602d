// The XML document writer: libxml2's text writer into a file or a memory buffer.
#ifndef PGF_XML_WRITER_H
#define PGF_XML_WRITER_H

#include <memory>
#include <string>

#include <libxml/xmlwriter.h>

#include "PGFOutputFile.h"
#include "PGFWriter.h"

// Writes XML with libxml2's text writer, which escapes text and attribute values. Input that
// would make the document not well formed is refused with -1 and nothing written: names
// that are not XML names, text that is not UTF-8 or holds characters XML cannot carry,
// text or attributes outside any element, a second root element, and an XML declaration
// anywhere but at the start.
class PGFXMLWriter : public PGFWriter {
public:
    // Null, with the reason in error, when the writer cannot be created.
    static std::unique_ptr<PGFXMLWriter> newToString(std::string* error);
    static std::unique_ptr<PGFXMLWriter> newToFile(const char* path, std::string* error);
    ~PGFXMLWriter() override;

    int startDocument() override;
    int endDocument() override;
    int startElement(std::string_view name) override;
    int endElement() override;
    int writeAttribute(std::string_view name, std::string_view value) override;
    int writeTextValue(std::string_view text) override;
    std::optional<std::string_view> getString() override;
    bool finish(std::string* error) override;

private:
    PGFXMLWriter() = default;
    static int writeToFile(void* context, const char* bytes, int length);
    // The name as a terminated string when it is an XML name, else null.
    const xmlChar* checkedName(std::string_view name);
    // The text as a terminated string when XML can carry it, else null.
    const xmlChar* checkedText(std::string_view text);

    xmlTextWriterPtr writer_ = nullptr;  // owned; null once finished
    xmlBufferPtr buffer_ = nullptr;      // owned; null for a file writer
    PGFOutputFile file_;                 // open only for a file writer
    int openElements_ = 0;
    bool rootWritten_ = false;
    bool declarationWritten_ = false;
    std::string name_;                   // scratch: a terminated copy of a name
    std::string text_;                   // scratch: a terminated copy of a text
};

#endif

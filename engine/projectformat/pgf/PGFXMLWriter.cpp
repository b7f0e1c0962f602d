// The XML document writer: libxml2's text writer into a file or a memory buffer.
#include "PGFXMLWriter.h"

#include <cstdio>

#include <libxml/chvalid.h>
#include <libxml/tree.h>
#include <libxml/xmlstring.h>

namespace {

constexpr int kRefused = -1;

const xmlChar* xmlChars(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

// True when text is UTF-8 made only of characters an XML 1.0 document may contain.
bool isXmlText(std::string_view text) {
    const auto* next = reinterpret_cast<const unsigned char*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        if (*next < 0x80) {
            if (!xmlIsChar_ch(*next)) return false;
            ++next;
            --left;
            continue;
        }
        int length = left < 4 ? static_cast<int>(left) : 4;
        const int c = xmlGetUTF8Char(next, &length);
        if (c < 0 || length <= 0 || !xmlIsCharQ(c)) return false;
        next += length;
        left -= static_cast<size_t>(length);
    }
    return true;
}

}  // namespace

std::unique_ptr<PGFXMLWriter> PGFXMLWriter::newToString(std::string* error) {
    std::unique_ptr<PGFXMLWriter> writer(new PGFXMLWriter());
    writer->buffer_ = xmlBufferCreate();
    if (writer->buffer_) writer->writer_ = xmlNewTextWriterMemory(writer->buffer_, 0);
    if (!writer->writer_) {
        *error = "libxml2 could not create an XML writer";
        return nullptr;
    }
    return writer;
}

// The file is opened here rather than by libxml2, which would read the path as a URI and
// could write to a different file for a name with "%" escapes in it.
std::unique_ptr<PGFXMLWriter> PGFXMLWriter::newToFile(const char* path, std::string* error) {
    std::unique_ptr<PGFXMLWriter> writer(new PGFXMLWriter());
    if (!writer->file_.open(path, error)) return nullptr;
    xmlOutputBufferPtr output = xmlOutputBufferCreateIO(writeToFile, nullptr, &writer->file_, nullptr);
    if (output) writer->writer_ = xmlNewTextWriter(output);  // owns output from here on
    if (!writer->writer_) {
        if (output) xmlOutputBufferClose(output);
        *error = "libxml2 could not create an XML writer for '" + std::string(path) + "'";
        return nullptr;
    }
    return writer;
}

PGFXMLWriter::~PGFXMLWriter() {
    std::string error;
    if (!finish(&error)) std::printf("pgf: %s\n", error.c_str());
}

int PGFXMLWriter::writeToFile(void* context, const char* bytes, int length) {
    auto* file = static_cast<PGFOutputFile*>(context);
    return file->write(bytes, static_cast<size_t>(length)) ? length : -1;
}

const xmlChar* PGFXMLWriter::checkedName(std::string_view name) {
    name_.assign(name);
    // xmlValidateName takes a byte that is not UTF-8 for the character of the same number.
    if (!isXmlText(name) || name.find('\0') != std::string_view::npos || xmlValidateName(xmlChars(name_), 0) != 0) {
        return nullptr;
    }
    return xmlChars(name_);
}

const xmlChar* PGFXMLWriter::checkedText(std::string_view text) {
    if (!isXmlText(text)) return nullptr;
    text_.assign(text);
    return xmlChars(text_);
}

// libxml2 writes a declaration whenever no element is open, even after another one or
// after the root element.
int PGFXMLWriter::startDocument() {
    if (!writer_ || declarationWritten_ || rootWritten_) return kRefused;
    const int result = xmlTextWriterStartDocument(writer_, nullptr, "UTF-8", nullptr);
    if (result >= 0) declarationWritten_ = true;
    return result;
}

int PGFXMLWriter::endDocument() {
    if (!writer_) return kRefused;
    const int result = xmlTextWriterEndDocument(writer_);
    if (result >= 0) openElements_ = 0;
    return result;
}

int PGFXMLWriter::startElement(std::string_view name) {
    const xmlChar* checked = checkedName(name);
    if (!writer_ || !checked || (openElements_ == 0 && rootWritten_)) return kRefused;
    const int result = xmlTextWriterStartElement(writer_, checked);
    if (result >= 0) {
        ++openElements_;
        rootWritten_ = true;
    }
    return result;
}

int PGFXMLWriter::endElement() {
    if (!writer_ || openElements_ == 0) return kRefused;
    const int result = xmlTextWriterEndElement(writer_);
    if (result >= 0) --openElements_;
    return result;
}

int PGFXMLWriter::writeAttribute(std::string_view name, std::string_view value) {
    const xmlChar* checkedValue = checkedText(value);
    const xmlChar* checked = checkedName(name);
    if (!writer_ || openElements_ == 0 || !checked || !checkedValue) return kRefused;
    return xmlTextWriterWriteAttribute(writer_, checked, checkedValue);
}

// Outside an element libxml2 would copy the text unescaped, so it is refused there.
int PGFXMLWriter::writeTextValue(std::string_view text) {
    const xmlChar* checked = checkedText(text);
    if (!writer_ || openElements_ == 0 || !checked) return kRefused;
    return xmlTextWriterWriteString(writer_, checked);
}

std::optional<std::string_view> PGFXMLWriter::getString() {
    if (!writer_ || !buffer_) return std::nullopt;
    xmlTextWriterFlush(writer_);
    return std::string_view(reinterpret_cast<const char*>(xmlBufferContent(buffer_)),
                            static_cast<size_t>(xmlBufferLength(buffer_)));
}

bool PGFXMLWriter::finish(std::string* error) {
    if (writer_) xmlFreeTextWriter(writer_);  // flushes what is still buffered into the file
    writer_ = nullptr;
    if (buffer_) xmlBufferFree(buffer_);
    buffer_ = nullptr;
    return file_.close(error);
}

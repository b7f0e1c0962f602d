// The document reader: a libxml2 SAX parser that feeds the tree builder, from a file or from memory.
#include "PGFXMLParser.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include <libxml/parserInternals.h>
#include <libxml/tree.h>

namespace {

// Room for the text of ordinary elements without a native allocation; longer texts grow it.
constexpr size_t kTextReserve = 16384;

// libxml2 hands over an escaped ampersand in an attribute value as this character
// reference, because it is not asked to replace entities (replacing them would also
// expand entities declared in the document).
constexpr std::string_view kAmpersandReference = "&#38;";

// Entity declarations make libxml2 keep a stand-in document even for a SAX parse; it is
// not freed with the context, and not by libxml2 when the parse stops at an error.
struct ParserContextDeleter {
    void operator()(xmlParserCtxt* context) const {
        if (context->myDoc) xmlFreeDoc(context->myDoc);
        xmlFreeParserCtxt(context);
    }
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

// Replaces every kAmpersandReference in value by a plain ampersand, in one left-to-right
// pass. Returns the value itself when it holds none, else the result in scratch.
std::string_view unescapeAmpersands(std::string_view value, std::string* scratch) {
    size_t found = value.find(kAmpersandReference);
    if (found == std::string_view::npos) return value;
    scratch->clear();
    size_t start = 0;
    while (found != std::string_view::npos) {
        scratch->append(value.substr(start, found - start));
        scratch->push_back('&');
        start = found + kAmpersandReference.size();
        found = value.find(kAmpersandReference, start);
    }
    scratch->append(value.substr(start));
    return *scratch;
}

}  // namespace

PGFXMLParser::PGFXMLParser(lua_State* L, const char* fileName) : PGFXMLParser(L, nullptr, 0) {
    fileName_ = fileName;
}

PGFXMLParser::PGFXMLParser(lua_State* L, const char* buffer, size_t length)
    : PGFParser(L), buffer_(buffer), length_(length) {
    // The SAX2 element callbacks: some libxml2 builds ignore the SAX1 ones.
    handler_.initialized = XML_SAX2_MAGIC;
    handler_.getEntity = lookUpEntity;
    handler_.startElementNs = startElement;
    handler_.endElementNs = endElement;
    handler_.characters = collectText;
    // Whitespace-only text is text like any other, whatever libxml2 guesses about it.
    handler_.ignorableWhitespace = collectText;
    handler_.serror = recordError;
    text_.reserve(kTextReserve);
}

int PGFXMLParser::parse() {
    errorMessage_.clear();
    firstLibraryError_.clear();
    droppedEntities_.clear();
    readError_ = 0;
    std::unique_ptr<std::FILE, FileCloser> file;
    if (fileName_) {
        file.reset(std::fopen(fileName_, "rb"));
        if (!file) {
            errorMessage_ = describeSource() + ": " + std::strerror(errno);
            return -1;
        }
        file_ = file.get();
    }
    std::unique_ptr<xmlParserCtxt, ParserContextDeleter> context(
        xmlCreateIOParserCtxt(&handler_, this, readSource, nullptr, this, XML_CHAR_ENCODING_NONE));
    if (!context) {
        errorMessage_ = describeSource() + ": libxml2 could not create a parser";
        return -1;
    }
    // No network, and no DTD loading or entity substitution (both left off here on purpose).
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET);
    context_ = context.get();
    xmlParseDocument(context_);
    const bool wellFormed = context_->wellFormed != 0 && errorMessage_.empty() && !pendingError_;
    const int result = wellFormed ? 0 : (context_->errNo != 0 ? context_->errNo : -1);
    context_ = nullptr;
    file_ = nullptr;
    context.reset();
    file.reset();
    if (pendingError_) std::rethrow_exception(pendingError_);
    if (!wellFormed && errorMessage_.empty()) {
        const std::string reason = readError_ != 0            ? std::strerror(readError_)
                                   : firstLibraryError_.empty() ? "not a well-formed document"
                                                                : firstLibraryError_;
        errorMessage_ = describeSource() + ": " + reason;
    }
    if (wellFormed && depth() == 0) {
        errorMessage_ = describeSource() + ": the document has no root element";
        return -1;
    }
    return result;
}

int PGFXMLParser::readSource(void* context, char* buffer, int length) {
    auto* parser = static_cast<PGFXMLParser*>(context);
    if (length <= 0) return 0;
    if (parser->file_) {
        errno = 0;
        const size_t read = std::fread(buffer, 1, static_cast<size_t>(length), parser->file_);
        if (!std::ferror(parser->file_)) return static_cast<int>(read);
        parser->readError_ = errno != 0 ? errno : EIO;
        return -1;
    }
    const size_t count = std::min(static_cast<size_t>(length), parser->length_ - parser->offset_);
    std::memcpy(buffer, parser->buffer_ + parser->offset_, count);
    parser->offset_ += count;
    return static_cast<int>(count);
}

// Only the five predefined entities are known. A document with an external DTD may use
// others without being refused; their references are dropped, which droppedEntityNotes tells.
xmlEntityPtr PGFXMLParser::lookUpEntity(void* context, const xmlChar* name) {
    xmlEntityPtr entity = xmlGetPredefinedEntity(name);
    if (!entity) static_cast<PGFXMLParser*>(context)->droppedEntities_.insert(chars(name));
    return entity;
}

std::vector<std::string> PGFXMLParser::droppedEntityNotes() const {
    std::vector<std::string> notes;
    for (const std::string& name : droppedEntities_) {
        notes.push_back(describeSource() + ": dropped the references to the entity '" + name +
                        "', which the reader does not expand; write its text in the document instead");
    }
    return notes;
}

template <typename Work>
void PGFXMLParser::guarded(Work&& work) {
    if (pendingError_ || !errorMessage_.empty()) return;
    // Catching everything is deliberate: an exception must not unwind through libxml2,
    // which would leak its parser. The exception is raised again by parse, unchanged.
    try {
        work();
    } catch (...) {
        pendingError_ = std::current_exception();
        xmlStopParser(context_);
    }
}

void PGFXMLParser::startElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                                const xmlChar*, int namespaceCount, const xmlChar** namespaces,
                                int attributeCount, int, const xmlChar** attributes) {
    auto* parser = static_cast<PGFXMLParser*>(context);
    parser->guarded([&] {
        parser->beginElement(localName, prefix, namespaceCount, namespaces, attributeCount, attributes);
    });
}

void PGFXMLParser::endElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* parser = static_cast<PGFXMLParser*>(context);
    parser->guarded([&] { parser->finishElement(); });
}

void PGFXMLParser::collectText(void* context, const xmlChar* bytes, int length) {
    auto* parser = static_cast<PGFXMLParser*>(context);
    if (length > 0) parser->guarded([&] { parser->text_.append(chars(bytes), static_cast<size_t>(length)); });
}

void PGFXMLParser::recordError(void* context, xmlErrorPtr error) {
    auto* parser = static_cast<PGFXMLParser*>(context);
    if (!parser || !error || error->level < XML_ERR_ERROR || !parser->firstLibraryError_.empty()) return;
    std::string message = error->message ? error->message : "unknown error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    parser->firstLibraryError_ = "line " + std::to_string(error->line) + ": " + message;
}

void PGFXMLParser::beginElement(const xmlChar* localName, const xmlChar* prefix, int namespaceCount,
                                const xmlChar** namespaces, int attributeCount,
                                const xmlChar** attributes) {
    text_.clear();  // text collected so far belongs to the parent, which has a child now
    const int keyCount = namespaceCount + attributeCount;
    bool pushed;
    if (prefix) {
        name_.assign(chars(prefix)).append(":").append(chars(localName));
        pushed = pushElement(name_.data(), name_.size(), keyCount);
    } else {
        pushed = pushElement(chars(localName), std::strlen(chars(localName)), keyCount);
    }
    if (!pushed) return stop("the document is nested too deeply to be read");

    // Namespace declarations are attributes as written in the document.
    for (int i = 0; i < namespaceCount; ++i) {
        const xmlChar* declaredPrefix = namespaces[2 * i];
        const char* uri = namespaces[2 * i + 1] ? chars(namespaces[2 * i + 1]) : "";
        // The declared name comes as written too, with an escaped ampersand as a reference.
        const std::string_view value = unescapeAmpersands(uri, &text_);
        name_.assign("xmlns");
        if (declaredPrefix) name_.append(":").append(chars(declaredPrefix));
        setAttribute(name_.data(), name_.size(), value.data(), value.size());
    }
    // Five entries per attribute: local name, prefix, namespace, value start, value end.
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        const char* valueStart = chars(attribute[3]);
        const size_t valueLength = static_cast<size_t>(attribute[4] - attribute[3]);
        const std::string_view value = unescapeAmpersands({valueStart, valueLength}, &text_);
        if (attribute[1]) {
            name_.assign(chars(attribute[1])).append(":").append(chars(attribute[0]));
            setAttribute(name_.data(), name_.size(), value.data(), value.size());
        } else {
            setAttribute(chars(attribute[0]), std::strlen(chars(attribute[0])), value.data(), value.size());
        }
    }
    text_.clear();
}

void PGFXMLParser::finishElement() {
    if (!text_.empty() && currentElementIsChildless()) setTextValue(text_.data(), text_.size());
    text_.clear();
    if (!popElement()) stop("an element has more children than script numbers can count");
}

void PGFXMLParser::stop(const char* reason) {
    errorMessage_ = describeSource() + ": " + reason;
    xmlStopParser(context_);
}

std::string PGFXMLParser::describeSource() const {
    if (fileName_) return "document '" + std::string(fileName_) + "'";
    return "document string";
}

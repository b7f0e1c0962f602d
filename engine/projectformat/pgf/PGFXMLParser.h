// The document reader: a libxml2 SAX parser that feeds the tree builder, from a file or from memory.
#ifndef PGF_XML_PARSER_H
#define PGF_XML_PARSER_H

#include <cstddef>
#include <cstdio>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include <libxml/parser.h>

#include "PGFParser.h"

// Reads one XML document into a tree of script tables (see PGFParser). Made for one parse;
// it may live on the native stack.
//
// The parser never reaches outside its source: it knows only the five predefined entities,
// loads no external subset or entity and has network access switched off. Nesting is
// bounded by libxml2's default depth limit, so the native and interpreter stacks stay small.
class PGFXMLParser : public PGFParser {
public:
    // Reads the file at fileName (borrowed; must outlive parse).
    PGFXMLParser(lua_State* L, const char* fileName);
    // Reads length bytes at buffer (borrowed; must outlive parse).
    PGFXMLParser(lua_State* L, const char* buffer, size_t length);

    // 0 for a well-formed document read completely. An interpreter error raised while the
    // tree was built (out of memory) is raised again from here, after libxml2 is done.
    int parse() override;

    // Why the last parse failed, in one line naming the source; empty after a success.
    const std::string& errorMessage() const { return errorMessage_; }
    // One line per entity whose references the last parse dropped (any but the five
    // predefined ones), naming the entity and the source.
    std::vector<std::string> droppedEntityNotes() const;

private:
    static int readSource(void* context, char* buffer, int length);
    static xmlEntityPtr lookUpEntity(void* context, const xmlChar* name);
    static void startElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes);
    static void endElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar* uri);
    static void collectText(void* context, const xmlChar* bytes, int length);
    static void recordError(void* context, xmlErrorPtr error);

    void beginElement(const xmlChar* localName, const xmlChar* prefix, int namespaceCount,
                      const xmlChar** namespaces, int attributeCount, const xmlChar** attributes);
    void finishElement();
    void storeAttribute(const char* name, size_t nameLength, const char* value, size_t valueLength);
    // Stops libxml2 and makes the parse fail with the given reason.
    void stop(const char* reason);
    // Runs one callback's tree building, carrying any exception (interpreter errors
    // included) past libxml2's C frames to parse, which raises it again.
    template <typename Work>
    void guarded(Work&& work);
    std::string describeSource() const;

    const char* buffer_ = nullptr;    // borrowed; the document bytes when there is no file
    size_t length_ = 0;
    size_t offset_ = 0;               // bytes of buffer_ handed to libxml2 so far
    const char* fileName_ = nullptr;  // borrowed; null for a buffer source
    std::FILE* file_ = nullptr;       // owned by parse while it runs
    xmlSAXHandler handler_{};
    xmlParserCtxtPtr context_ = nullptr;  // borrowed from parse while it runs
    std::string text_;                // the text collected for the current element
    std::string name_;                // scratch for prefixed names and unescaped values
    std::exception_ptr pendingError_;
    std::string errorMessage_;
    std::string firstLibraryError_;   // the first error libxml2 reported, with its line
    int readError_ = 0;               // errno of a failed file read
    std::set<std::string> droppedEntities_;  // names of the entities met and not expanded
};

#endif

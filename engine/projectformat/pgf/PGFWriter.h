// The common interface of the document writers (XML and JSON, to a file or to a string).
#ifndef PGF_WRITER_H
#define PGF_WRITER_H

#include <optional>
#include <string>
#include <string_view>

// A document written element by element. Each writing call returns the underlying
// library's result: for XML the bytes written or -1 on error, for JSON 1 or 0.
class PGFWriter {
public:
    // Finishes the output as finish does; a failure is printed on standard output.
    virtual ~PGFWriter() = default;
    virtual int startDocument() = 0;
    virtual int endDocument() = 0;
    virtual int startElement(std::string_view name) = 0;
    virtual int endElement() = 0;
    virtual int writeAttribute(std::string_view name, std::string_view value) = 0;
    virtual int writeTextValue(std::string_view text) = 0;
    // The text written so far; nothing for a writer that has no text of its own (a file writer).
    virtual std::optional<std::string_view> getString() = 0;
    // Flushes everything written and closes a file. False, with the reason in error, when
    // the output could not be written completely. Nothing may be written afterwards.
    virtual bool finish(std::string* error) = 0;
};

#endif

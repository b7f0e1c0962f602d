// The tree builder under the document reader: turns element events into script tables on the interpreter stack.
#ifndef PGF_PARSER_H
#define PGF_PARSER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <lua.h>

// Builds the tree of one document directly on the interpreter stack while the document
// streams past. Every open element holds one stack slot (its node table) until it ends;
// a finished element is stored in its parent at the next child key. When the document
// ends, the root node is the one value left on top of the stack.
//
// Node layout: key 0 holds the element name, keys 1, 2, 3... the child nodes in order,
// key 1 the text of an element without children, and one string key per attribute.
//
// The tree-building calls may raise interpreter errors (out of memory); callers that sit
// inside a C library's callbacks must catch and carry them across that library.
class PGFParser {
public:
    explicit PGFParser(lua_State* L);
    virtual ~PGFParser() = default;
    PGFParser(const PGFParser&) = delete;
    PGFParser& operator=(const PGFParser&) = delete;

    // Reads the whole document. 0 on success, with the root node on top of the stack;
    // non-zero otherwise, with whatever was built left above the caller's stack top.
    virtual int parse() = 0;

    // Opens a node for an element that will get attributeCount attributes (its hash part
    // is sized for them and the name). False, with nothing pushed, when the interpreter
    // stack cannot grow any further (the document is nested too deeply to be read).
    bool pushElement(const char* name, size_t length, int attributeCount);
    // Ends the current element: stores its node in its parent, or leaves the root on top.
    // False when the parent already holds as many children as script numbers can count
    // exactly (keys past 2^24 would collide as 32-bit floats): the document cannot be read.
    bool popElement();
    void setAttribute(const char* name, size_t nameLength, const char* value, size_t valueLength);
    void setTextValue(const char* bytes, size_t length);

    uint32_t depth() const { return depth_; }
    // True while the current element has had no child element yet.
    bool currentElementIsChildless() const;

protected:
    lua_State* L_;  // borrowed; the node tables live on its stack

private:
    uint32_t depth_ = 0;
    // One entry per open level: the key the next child of that element gets.
    std::vector<uint32_t> childCounters_;
};

#endif

// SGPort and its typed subclasses: the slots through which scene-graph nodes exchange
// values, with their conversions, connections and dirty marking.
#ifndef SG_PORT_H
#define SG_PORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "SGColor.h"
#include "SGImage.h"
#include "SGSound.h"

class SGNode;

enum SGPortValueType : int32_t {
    SGPortTypeNil = 0,
    SGPortTypeString = 1,
    SGPortTypeNumber = 2,
    SGPortTypeInteger = 3,
    SGPortTypeBoolean = 4,
    SGPortTypeColor = 5,
    SGPortTypeSound = 6,
    SGPortTypeImage = 7,
    SGPortTypeAssetName = 8,
};

typedef int32_t SGPortID;

// A typed slot owned by one node. It holds its own value or reads the value of one source
// port; reading makes the owning node recompute first when it is dirty, writing marks
// everything downstream dirty. The port lives exactly as long as its node.
class SGPort {
public:
    SGPort() = default;
    SGPort(const SGPort&) = delete;
    SGPort& operator=(const SGPort&) = delete;
    // Disconnects from the source, which may destroy the source's node.
    virtual ~SGPort();

    // The base accessors give defaults; each typed port overrides its own and converts
    // for the others from its own, called virtually so a connection is followed.
    virtual std::string stringValue();
    virtual float numberValue();
    virtual int32_t intValue();
    virtual bool boolValue();
    virtual SGColor colorValue();
    virtual SGSound soundValue();
    virtual SGImage imageValue();

    // Connects this port to read from source (none disconnects) and marks it dirty. The
    // source's node gets one reference while the connection lasts. A connection that would close a cycle in the
    // port graph is refused and returns false: dirty marking would walk it without end.
    virtual bool setValue(SGPort* source);
    void disconnect();
    // True when reading from source would close a cycle: source is this port or is
    // reachable from it through the ports it marks dirty.
    bool wouldCloseCycle(const SGPort* source) const;

    void addDestPort(SGPort* port);
    void removeDestPort(SGPort* port);
    void markAsDirty();

    SGNode* node = nullptr;               // borrowed: the owning node, set at registration
    SGPortValueType type = SGPortTypeNil;  // set at registration
    std::vector<SGPort*> destPorts;       // borrowed: the ports this one marks dirty
    SGPort* sourcePort = nullptr;          // borrowed; its node is retained while set

    // Reads nest through connections and compute steps, one level per connection followed
    // or compute step entered. Deeper than this, a read throws std::runtime_error (a script
    // error at the binding) rather than overflow the call stack along an unreasonably long
    // chain of nodes.
    static constexpr int kMaxReadDepth = 10000;

protected:
    // Step 2 of every read of an unconnected port: bring the owning node up to date.
    void updateOwner();

    // Counts one level of nested reads for as long as it lives; see kMaxReadDepth.
    class ReadDepth {
    public:
        ReadDepth();
        ~ReadDepth();
        ReadDepth(const ReadDepth&) = delete;
        ReadDepth& operator=(const ReadDepth&) = delete;
    };
};

class SGStringPort : public SGPort {
public:
    using SGPort::setValue;
    std::string stringValue() override;
    float numberValue() override;
    int32_t intValue() override;
    bool boolValue() override;
    void setValue(const std::string& text);

    std::string value;
};

class SGNumberPort : public SGPort {
public:
    using SGPort::setValue;
    explicit SGNumberPort(float initial = 0.0f) : value(initial) {}
    std::string stringValue() override;
    float numberValue() override;
    int32_t intValue() override;
    bool boolValue() override;
    void setValue(float number);

    float value;
};

class SGIntegerPort : public SGPort {
public:
    using SGPort::setValue;
    explicit SGIntegerPort(int32_t initial = 0) : value(initial) {}
    std::string stringValue() override;
    float numberValue() override;
    int32_t intValue() override;
    bool boolValue() override;
    void setValue(int32_t number);

    int32_t value;
};

class SGBooleanPort : public SGPort {
public:
    using SGPort::setValue;
    std::string stringValue() override;
    float numberValue() override;
    int32_t intValue() override;
    bool boolValue() override;
    void setValue(bool flag);

    bool value = false;
};

class SGColorPort : public SGPort {
public:
    using SGPort::setValue;
    explicit SGColorPort(SGColor initial) : value(initial) {}
    SGColor colorValue() override;
    void setValue(const SGColor& color);

    SGColor value;
};

class SGImagePort : public SGPort {
public:
    using SGPort::setValue;
    SGImage imageValue() override;
    void setValue(const SGImage& image);

    SGImage value = SGImageNull;
};

class SGSoundPort : public SGPort {
public:
    using SGPort::setValue;
    SGSound soundValue() override;
    void setValue(const SGSound& sound);

    SGSound value = SGSoundNull;
};

// Text read as a number the way stream extraction reads it: leading white space skipped,
// the longest numeric prefix taken, 0 when there is none.
float SGParseFloat(const std::string& text);
int32_t SGParseInt(const std::string& text);
// A number as text with two significant digits ("%.2g").
std::string SGFormatNumber(float number);

#endif

// Reading the label markup into plain text and styled runs.
#include "QzTextMarkup.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

struct OpenTag {
    std::string name;
    size_t run;       // index of its run
    size_t position;  // byte of its '[' in the markup
};

// The 1-based character (not byte) at a byte offset of UTF-8 text.
size_t characterAt(const std::string& text, size_t byte) {
    size_t count = 1;
    for (size_t i = 0; i < byte && i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
    }
    return count;
}

// A tag as written, cut short when it is long, so that a report stays one readable line.
std::string shownTag(const std::string& tag) {
    constexpr size_t kShown = 32;
    return "[" + (tag.size() > kShown ? tag.substr(0, kShown) + "..." : tag) + "]";
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// #rgb, #rrggbb or #rrggbbaa into the run's colour.
bool readColor(const std::string& value, QzTextRun* run) {
    if (value.empty() || value[0] != '#') return false;
    const std::string digits = value.substr(1);
    if (digits.size() != 3 && digits.size() != 6 && digits.size() != 8) return false;
    for (char c : digits) {
        if (hexDigit(c) < 0) return false;
    }
    const size_t width = digits.size() == 3 ? 1 : 2;
    double channels[4] = {0, 0, 0, 1};
    for (size_t channel = 0; channel * width < digits.size(); ++channel) {
        int level = 0;
        for (size_t k = 0; k < width; ++k) level = level * 16 + hexDigit(digits[channel * width + k]);
        channels[channel] = width == 1 ? level / 15.0 : level / 255.0;
    }
    run->r = channels[0];
    run->g = channels[1];
    run->b = channels[2];
    run->a = channels[3];
    return true;
}

bool readSize(const std::string& value, QzTextRun* run) {
    if (value.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double size = std::strtod(value.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(size) || size < 1 || size > kQzMarkupMaxSize) return false;
    run->size = size;
    return true;
}

class Reader {
public:
    explicit Reader(const std::string& markup) : markup_(markup) {}

    QzTextMarkup read() {
        size_t i = 0;
        while (i < markup_.size() && problem_.empty()) {
            if (markup_[i] != '[') {
                result_.text += markup_[i++];
            } else if (i + 1 < markup_.size() && markup_[i + 1] == '[') {
                result_.text += '[';
                i += 2;
            } else {
                i = readTag(i);
            }
        }
        if (problem_.empty() && !open_.empty()) {
            const OpenTag& last = open_.back();
            fail(last.position, "[" + last.name + "] is not closed; add [/" + last.name + "]");
        }
        if (!problem_.empty()) return {{}, {}, problem_};
        return std::move(result_);
    }

private:
    void fail(size_t position, const std::string& what) {
        problem_ = "character " + std::to_string(characterAt(markup_, position)) + ": " + what;
    }

    // Reads the tag whose '[' is at `start`; returns the byte after its ']'.
    size_t readTag(size_t start) {
        const size_t close = markup_.find(']', start + 1);
        const size_t stray = markup_.find_first_of("[\n", start + 1);
        if (close == std::string::npos || (stray != std::string::npos && stray < close)) {
            fail(start, "'[' starts a tag that has no ']'; write [[ for a bracket");
            return markup_.size();
        }
        const std::string tag = markup_.substr(start + 1, close - start - 1);
        if (!tag.empty() && tag[0] == '/') {
            closeTag(start, tag);
        } else {
            openTag(start, tag);
        }
        return close + 1;
    }

    void openTag(size_t start, const std::string& tag) {
        const size_t equals = tag.find('=');
        const std::string name = tag.substr(0, equals);
        const std::optional<std::string> value =
            equals == std::string::npos ? std::nullopt : std::optional<std::string>(tag.substr(equals + 1));
        QzTextRun run{};
        run.start = result_.text.size();
        if ((name == "b" || name == "i" || name == "u") && !value) {
            run.kind = name == "b" ? QzTextRunKind::Bold : name == "i" ? QzTextRunKind::Italic : QzTextRunKind::Underline;
        } else if (name == "color" && value) {
            run.kind = QzTextRunKind::Color;
            if (!readColor(*value, &run)) return fail(start, shownTag(tag) + ": expected a colour #rgb, #rrggbb or #rrggbbaa");
        } else if (name == "size" && value) {
            run.kind = QzTextRunKind::Size;
            if (!readSize(*value, &run)) return fail(start, shownTag(tag) + ": expected a size from 1 to " +
                                                              std::to_string(static_cast<int>(kQzMarkupMaxSize)));
        } else {
            return fail(start, "unknown tag " + shownTag(tag) +
                                   "; the tags are [b], [i], [u], [color=#rrggbb] and [size=N], and [[ writes a bracket");
        }
        open_.push_back({name, result_.runs.size(), start});
        result_.runs.push_back(run);
    }

    void closeTag(size_t start, const std::string& tag) {
        const std::string name = tag.substr(1);
        if (open_.empty()) return fail(start, shownTag(tag) + " closes nothing that is open");
        if (open_.back().name != name) {
            return fail(start, shownTag(tag) + " comes before [/" + open_.back().name +
                                   "]; close tags in the reverse order of opening");
        }
        result_.runs[open_.back().run].end = result_.text.size();
        open_.pop_back();
    }

    const std::string& markup_;
    QzTextMarkup result_;
    std::vector<OpenTag> open_;
    std::string problem_;
};

}  // namespace

QzTextMarkup QzParseTextMarkup(const std::string& markup) {
    return Reader(markup).read();
}

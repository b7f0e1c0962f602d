// Editing of the text-entry panel's text, cursor movement by whole UTF-8 characters.
#include "QzTextEntry.h"

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void QzTextEntry::begin(std::string prompt, std::string initialValue) {
    prompt_ = std::move(prompt);
    initial_ = initialValue;
    text_ = std::move(initialValue);
    cursor_ = text_.size();
    selected_ = true;
    outcome_ = Outcome::Editing;
}

size_t QzTextEntry::previousBoundary(size_t position) const {
    while (position > 0 && isContinuationByte(text_[--position])) {
    }
    return position;
}

size_t QzTextEntry::nextBoundary(size_t position) const {
    if (position >= text_.size()) return text_.size();
    ++position;
    while (position < text_.size() && isContinuationByte(text_[position])) ++position;
    return position;
}

QzTextEntry::Outcome QzTextEntry::apply(const QzInputEvent& event) {
    if (outcome_ != Outcome::Editing) return outcome_;
    const bool replacing = selected();
    if (event.kind == QzInputEvent::Kind::Text) {
        selected_ = false;
        if (replacing) text_.clear(), cursor_ = 0;
        text_.insert(cursor_, event.text);
        cursor_ += event.text.size();
    } else if (event.kind == QzInputEvent::Kind::KeyDown) {
        const std::string& key = event.text;
        // Keys that edit or move end the selection; modifier keys and others keep it.
        if (key == "delete" || key == "left" || key == "right") selected_ = false;
        if (key == "return") {
            outcome_ = Outcome::Finished;
        } else if (key == "esc") {
            outcome_ = Outcome::Cancelled;
        } else if (key == "delete" && replacing) {
            text_.clear();
            cursor_ = 0;
        } else if (key == "left" && replacing) {
            cursor_ = 0;
        } else if (key == "delete" && cursor_ > 0) {
            const size_t start = previousBoundary(cursor_);
            text_.erase(start, cursor_ - start);
            cursor_ = start;
        } else if (key == "left") {
            cursor_ = previousBoundary(cursor_);
        } else if (key == "right" && !replacing) {
            cursor_ = nextBoundary(cursor_);
        }
    }
    return outcome_;
}

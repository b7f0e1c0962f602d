// The text being edited in the text-entry panel: prompt, UTF-8 text and a cursor, with the
// editing operations the panel's keys perform.
#ifndef QZ_TEXT_ENTRY_H
#define QZ_TEXT_ENTRY_H

#include <string>

#include "QzInputEvent.h"

class QzTextEntry {
public:
    enum class Outcome { Editing, Finished, Cancelled };

    // Starts an entry with the initial text selected and the cursor after it.
    void begin(std::string prompt, std::string initialValue);
    // Applies one input event: typed text is inserted at the cursor, replacing the selected
    // initial text; "return" finishes, "esc" cancels (the answer is then the initial text),
    // "delete" removes the selection or the character before the cursor, "left" and "right"
    // move the cursor (and end the selection). Other events are ignored.
    Outcome apply(const QzInputEvent& event);

    const std::string& prompt() const { return prompt_; }
    const std::string& text() const { return text_; }
    size_t cursor() const { return cursor_; }
    // Whether the whole text is selected (as it is from the start, until the first key).
    bool selected() const { return selected_ && !text_.empty(); }
    // The text to send back: the edited text once finished, the initial text if cancelled.
    const std::string& answer() const { return outcome_ == Outcome::Cancelled ? initial_ : text_; }

private:
    size_t previousBoundary(size_t position) const;
    size_t nextBoundary(size_t position) const;

    std::string prompt_;
    std::string initial_;
    std::string text_;
    size_t cursor_ = 0;  // byte offset, always at a character boundary
    bool selected_ = false;
    Outcome outcome_ = Outcome::Editing;
};

#endif

// The problem notes: their text, their lifetime and their drawing.
#include "QzProblemToasts.h"

#include <algorithm>

namespace {

constexpr int kFontSize = 12;
constexpr int kMargin = 6;
constexpr int kPadding = 5;
constexpr double kFadeSeconds = 0.5;
constexpr char kEllipsis[] = "\u2026";

void eraseAll(std::string* text, const std::string& part) {
    for (size_t at = text->find(part); at != std::string::npos; at = text->find(part, at)) text->erase(at, part.size());
}

// The interpreter names a long file "..." and the end of its path: that end, when it is the
// end of the project folder's path, goes with the "...".
void eraseShortenedFolder(std::string* text, const std::string& folder) {
    for (size_t at = text->find("..."); at != std::string::npos; at = text->find("...", at + 1)) {
        for (size_t length = std::min(folder.size(), text->size() - at - 3); length >= 2; --length) {
            if (text->compare(at + 3, length, folder, folder.size() - length, length) == 0) {
                text->erase(at, 3 + length);
                break;
            }
        }
    }
}

}  // namespace

std::string QzToastText(const std::string& message, const std::string& projectFolder) {
    std::string text = message.substr(0, message.find('\n'));
    if (!projectFolder.empty()) {
        const std::string folder = projectFolder.back() == '/' ? projectFolder : projectFolder + "/";
        eraseAll(&text, folder);
        eraseShortenedFolder(&text, folder);
    }
    if (text.size() <= kQzToastCharacters) return text;
    // Cut at a character's first byte, never inside a UTF-8 sequence.
    size_t cut = kQzToastCharacters;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + kEllipsis;
}

void QzProblemToasts::add(const std::string& message, double now) {
    const std::string text = QzToastText(message, projectFolder_);
    const auto same = std::find_if(toasts_.begin(), toasts_.end(), [&](const Toast& toast) { return toast.text == text; });
    if (same != toasts_.end()) {
        same->shownUntil = now + kShownSeconds;
        return;
    }
    toasts_.push_back({text, now + kShownSeconds, {}, 0});
    if (toasts_.size() > kMostShown) {
        toasts_.front().texture.release();
        toasts_.pop_front();
    }
}

void QzProblemToasts::draw(int viewWidth, double now) {
    while (!toasts_.empty() && toasts_.front().shownUntil <= now) {
        toasts_.front().texture.release();
        toasts_.pop_front();
    }
    const int wrapWidth = std::max(1, viewWidth - 2 * (kMargin + kPadding));
    float bottom = kMargin;
    for (auto toast = toasts_.rbegin(); toast != toasts_.rend(); ++toast) {
        if (toast->wrapWidth != wrapWidth) {
            toast->texture.upload(QzRenderOverlayText(toast->text, kFontSize, wrapWidth));
            toast->wrapWidth = wrapWidth;
        }
        const float opacity = static_cast<float>(std::min(1.0, (toast->shownUntil - now) / kFadeSeconds));
        const float height = toast->texture.height() + 2 * kPadding;
        QzFillOverlayRect(kMargin, bottom, viewWidth - 2 * kMargin, height, {0.45f, 0.05f, 0.05f, 0.9f * opacity});
        toast->texture.draw(kMargin + kPadding, bottom + kPadding, {1, 1, 1, opacity});
        bottom += height + kMargin;
    }
}

void QzProblemToasts::release() {
    for (Toast& toast : toasts_) toast.texture.release();
    toasts_.clear();
}

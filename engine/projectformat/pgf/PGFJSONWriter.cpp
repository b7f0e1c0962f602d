// The JSON document writer: a yajl generator into a file or into yajl's own buffer.
#include "PGFJSONWriter.h"

#include <cstdio>

namespace {

constexpr std::string_view kTypeKey = "_type";
constexpr std::string_view kChildrenKey = "_children";
constexpr std::string_view kTextKey = "_text";

// The text printed for each failed generator status, indexed by status.
constexpr const char* kStatusTexts[] = {
    nullptr,
    "keys must be strings",
    "max depth exceeded",
    "in error state",
    "complete document has been generated",
    "invalid number",
    "no internal buffer",
    "invalid UTF-8 string",
};

}  // namespace

std::unique_ptr<PGFJSONWriter> PGFJSONWriter::newToString(bool beautify, std::string* error) {
    std::unique_ptr<PGFJSONWriter> writer(new PGFJSONWriter(beautify));
    if (!writer->createGenerator(false, error)) return nullptr;
    return writer;
}

std::unique_ptr<PGFJSONWriter> PGFJSONWriter::newToFile(const char* path, bool beautify, std::string* error) {
    std::unique_ptr<PGFJSONWriter> writer(new PGFJSONWriter(beautify));
    if (!writer->file_.open(path, error) || !writer->createGenerator(true, error)) return nullptr;
    return writer;
}

PGFJSONWriter::~PGFJSONWriter() {
    std::string error;
    if (!finish(&error)) std::printf("pgf: %s\n", error.c_str());
}

bool PGFJSONWriter::createGenerator(bool toFile, std::string* error) {
    generator_ = yajl_gen_alloc(nullptr);
    const bool configured =
        generator_ && yajl_gen_config(generator_, yajl_gen_beautify, static_cast<int>(beautify_)) &&
        yajl_gen_config(generator_, yajl_gen_indent_string, indent_) &&
        // Bytes that are not UTF-8 would make the output unreadable as JSON.
        yajl_gen_config(generator_, yajl_gen_validate_utf8, 1) &&
        (!toFile || yajl_gen_config(generator_, yajl_gen_print_callback, printToFile, &file_));
    if (!configured) {
        *error = "yajl could not create a JSON generator";
        return false;
    }
    return true;
}

void PGFJSONWriter::printToFile(void* context, const char* bytes, size_t length) {
    static_cast<PGFOutputFile*>(context)->write(bytes, length);
}

int PGFJSONWriter::checkYajlStatus(yajl_gen_status status) {
    if (status == yajl_gen_status_ok) {
        if (!file_.hasFailed()) return 1;
        if (!failed_) std::printf("pgf: %s\n", file_.failureMessage().c_str());
        failed_ = true;
        return 0;
    }
    const auto index = static_cast<size_t>(status);
    if (index < std::size(kStatusTexts)) std::printf("%s\n", kStatusTexts[index]);
    if (status != yajl_gen_no_buf) failed_ = true;
    return 0;
}

bool PGFJSONWriter::canGenerate(bool needsOpenElement) {
    if (!generator_ || failed_) {
        std::printf("%s\n", kStatusTexts[yajl_gen_in_error_state]);
        return false;
    }
    if (needsOpenElement && states_.empty()) {
        std::printf("no element is open\n");
        return false;
    }
    return true;
}

int PGFJSONWriter::generateString(std::string_view text) {
    return checkYajlStatus(
        yajl_gen_string(generator_, reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

int PGFJSONWriter::startDocument() {
    states_.clear();
    return 0;
}

int PGFJSONWriter::endDocument() { return 0; }

int PGFJSONWriter::startElement(std::string_view name) {
    if (!canGenerate(false)) return 0;
    if (!states_.empty() && states_.back() == kTakesAttributes && !startChildren()) return 0;
    if (!checkYajlStatus(yajl_gen_map_open(generator_))) return 0;
    states_.push_back(kTakesAttributes);
    return writeAttribute(kTypeKey, name);
}

int PGFJSONWriter::startChildren() {
    states_.back() = kChildrenOpen;
    if (!generateString(kChildrenKey)) return 0;
    return checkYajlStatus(yajl_gen_array_open(generator_));
}

int PGFJSONWriter::endChildren() {
    states_.back() = kChildrenClosed;
    return checkYajlStatus(yajl_gen_array_close(generator_));
}

int PGFJSONWriter::endElement() {
    if (!canGenerate(true)) return 0;
    if (states_.back() == kChildrenOpen && !endChildren()) return 0;
    states_.pop_back();
    return checkYajlStatus(yajl_gen_map_close(generator_));
}

int PGFJSONWriter::writeAttribute(std::string_view name, std::string_view value) {
    if (!canGenerate(true)) return 0;
    if (states_.back() == kChildrenOpen && !endChildren()) return 0;
    if (!generateString(name)) return 0;
    return generateString(value);
}

// No state check: text written while the "_children" array is open lands in the array.
int PGFJSONWriter::writeTextValue(std::string_view text) {
    if (!canGenerate(true)) return 0;
    if (!generateString(kTextKey)) return 0;
    return generateString(text);
}

std::optional<std::string_view> PGFJSONWriter::getString() {
    if (!generator_) return std::nullopt;
    const unsigned char* bytes = nullptr;
    size_t length = 0;
    if (!checkYajlStatus(yajl_gen_get_buf(generator_, &bytes, &length))) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(bytes), length);
}

bool PGFJSONWriter::finish(std::string* error) {
    if (generator_) yajl_gen_free(generator_);
    generator_ = nullptr;
    states_.clear();
    return file_.close(error);
}

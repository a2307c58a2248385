#include "cli/BoardImage.h"

#include "cli/Text.h"
#include "text/Utf8.h"

namespace cli {

std::wstring ChecksumStepsProblem(const std::vector<image::ChecksumStep>& steps, std::uint32_t capacity,
                                  const SerialField* field) {
    for (const image::ChecksumStep& step : steps) {
        const std::wstring name = L"--checksum " + text::Widen(image::ChecksumStepText(step)) + L": ";
        const std::string problem = image::ChecksumStepProblem(step, capacity);
        if (!problem.empty()) return name + text::Widen(problem);
        if (field != nullptr) {
            const std::uint64_t first = step.address, last = first + image::ChecksumBytes(step.algorithm) - 1;
            const std::uint64_t fieldLast = static_cast<std::uint64_t>(field->address) + field->width - 1;
            if (first <= fieldLast && last >= field->address)
                return name + L"the value would overwrite the serial field at 0x" +
                       text::Widen(HexText(field->address, 4));
        }
    }
    return L"";
}

std::string MakeBoardImage(std::vector<std::uint8_t>& code, const SerialField& field, const SerialValue* serial,
                           const std::vector<image::ChecksumStep>& steps, std::uint32_t capacity,
                           std::vector<image::ChecksumValue>* values) {
    if (serial != nullptr) WriteSerialValue(code.data(), field, *serial);
    if (steps.empty()) {
        if (values != nullptr) values->clear();
        return "";
    }
    return image::ApplyChecksums(code, capacity, steps, values);
}

std::vector<std::string> ChecksumRecordTexts(const std::vector<image::ChecksumValue>& values) {
    std::vector<std::string> texts;
    for (const image::ChecksumValue& v : values)
        texts.push_back(std::string(image::ChecksumName(v.step.algorithm)) + "@0x" + HexText(v.step.address, 4) + "=" +
                        HexText(v.value, static_cast<int>(2 * image::ChecksumBytes(v.step.algorithm))));
    return texts;
}

}  // namespace cli

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

// The scale's character translation, read from "QT_TRANS.DAT" beside the program: for each
// character code 20h..FFh the code sent to the scale and the PC character for that scale code.
// Texts to the scale are first converted from the ANSI to the OEM code page, texts from the
// scale translated and then converted back.
class CharTranslation {
  public:
    // Loads programDirectory + separator + "QT_TRANS.DAT". Throws QmComExceptions(7) when the
    // file cannot be opened or read, QmComExceptions(8) when one of its first 224 lines is
    // missing, 200 characters or longer, or lacks one of its two blank-separated fields, or
    // when a field does not begin with a hexadecimal digit.
    explicit CharTranslation(const std::string& programDirectory);

    // PC text to scale text, in place. Bytes below 20h stay as they are.
    void toScale(std::string& text) const;
    // Scale text to PC text, in place. Bytes below 20h stay as they are.
    void fromScale(std::string& text) const;

  private:
    // Pair i belongs to character code 20h + i: (PC to scale, scale to PC).
    std::array<std::pair<std::uint8_t, std::uint8_t>, 224> pairs_{};
};

// The job's translation; null while none is loaded (texts then pass untranslated).
extern CharTranslation* g_charTranslation;

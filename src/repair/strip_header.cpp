#include "inspect/snes_header.h"
#include "io/output_file.h"
#include "repair/repair.h"

bool stripCopierHeaderImage(Bytes& image) {
    // Recognised by size alone, for any platform; the header's bytes are not examined.
    if (!hasCopierHeaderSize(image.size())) {
        return false;
    }
    image.erase(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(copierHeaderSize));
    return true;
}

bool stripCopierHeader(const std::string& inputPath, const std::string& outputPath) {
    return transformFile(inputPath, outputPath, stripCopierHeaderImage);
}

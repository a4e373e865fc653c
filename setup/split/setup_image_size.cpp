#include "split/setup_image_size.h"

#include "formats/image_size.h"

// Linked with size 0; the build stamps the linked file's size into it (the
// link forces this record in by name). Read through volatile so that the
// compiler never folds the unstamped value.
extern "C" const volatile ImageSizeMark gSetupImageSizeMark;
extern "C" const volatile ImageSizeMark gSetupImageSizeMark = {QUENLITH_IMAGE_SIZE_TAG, 0};

std::uint32_t SetupImageSize() { return gSetupImageSizeMark.size; }

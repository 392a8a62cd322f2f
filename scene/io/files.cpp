// The io room's answers to what core asks of files (core/files.h).
#include "files.h"
#include "io.h"

namespace vq {

namespace {

bool isSceneFileName(const char *name)
{
    return sceneFormat(name) != SceneFormat::unknown;
}

} // namespace

const FileActions kFileActions = {WriteViewFile, exportScene, isSceneFileName, readColourMapFile};

} // namespace vq

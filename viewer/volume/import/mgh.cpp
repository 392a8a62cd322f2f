// FreeSurfer MGH/MGZ volumes for the import: the first frame, and the
// header's voxel-to-RAS turned to LPS like NIfTI's.
#include <cstdio>
#include <utility>

#include "import.h"
#include "mgh.h"

int readMghImage(const char *path, ImportedImage *img)
{
    MghFile mgh;
    if (readMghFile(path, &mgh) != 0)
        return -1;
    if (mgh.dims[3] > 1)
        std::fprintf(stderr, "'%s': %d frames, showing the first.\n", path, mgh.dims[3]);
    img->nx = mgh.dims[0];
    img->ny = mgh.dims[1];
    img->nz = mgh.dims[2];
    for (int a = 0; a < 3; a++)
        img->spacing[a] = mgh.voxelSize[a];
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            img->matrix[r][c] = r < 2 ? -mgh.vox2ras[r][c] : mgh.vox2ras[r][c];
    img->values = std::move(mgh.values);
    return 0;
}

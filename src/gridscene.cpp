#include "gridscene.h"

#include "image.h"
#include "impack.h"
#include "interp.h"
#include "log.h"
#include "mem.h"

uint8_t* gridscene_loadTextures(const char* scene, const char* packName, const char* lightName,
                                const char* bumpName, ImagePack** pack)
{
    *pack = impack_load(packName);
    Image* light = image_loadFromFile(lightName, 0);
    // The block copies 65536 bytes of it as rows of 256: anything else would be misread or overrun.
    if (!light->palette || light->width != 256 || light->height != 256) {
        log_print("%s: %s is not a 256 x 256 8-bit light table\n", scene, lightName);
        image_destroy(light);
        return nullptr;
    }
    uint16_t* disp = util_loadBump(bumpName, 1);
    uint8_t* block = interp_createTextures((*pack)->texture, (*pack)->envmap, disp, (*pack)->lut, light->pixels);
    mem_free(disp);
    image_destroy(light);
    return block;
}

void gridscene_turnRays(const mat* view, const vec3 rays[4], float rowScale, GridRays* out)
{
    for (int i = 0; i < 4; i++)
        mat_transformDirection(view, &rays[i], &out->rotated[i]);
    out->left = out->rotated[GridCornerTL];
    out->right = out->rotated[GridCornerTR];
    out->leftDelta = gridscene_scale(gridscene_sub(out->rotated[GridCornerBL], out->rotated[GridCornerTL]), rowScale);
    out->rightDelta = gridscene_scale(gridscene_sub(out->rotated[GridCornerBR], out->rotated[GridCornerTR]), rowScale);
}

// lumo-modelgen OUT_DIR [--png PREVIEW_DIR]
// Writes model-01.obj … model-11.obj (and, with --png, a preview picture of each).
#include <cstdio>
#include <fstream>
#include <string>

#include "image/image.hpp"
#include "models.hpp"

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--png")) {
        std::fprintf(stderr, "usage: lumo-modelgen OUT_DIR [--png PREVIEW_DIR]\n");
        return 2;
    }
    using Maker = modelgen::Mesh (*)();
    const Maker makers[] = {modelgen::make_model_1, modelgen::make_model_2, modelgen::make_model_3,
                            modelgen::make_model_4, modelgen::make_model_5, modelgen::make_model_6,
                            modelgen::make_model_7, modelgen::make_model_8, modelgen::make_model_9,
                            modelgen::make_model_10, modelgen::make_model_11};
    for (int number = 1; number <= 11; ++number) {
        const modelgen::Mesh mesh = makers[number - 1]();
        char name[32];
        std::snprintf(name, sizeof name, "model-%02d", number);
        const std::string path = std::string(argv[1]) + "/" + name + ".obj";
        std::ofstream out(path, std::ios::binary);
        out << modelgen::write_obj(mesh);
        if (!out) {
            std::fprintf(stderr, "lumo-modelgen: cannot write %s\n", path.c_str());
            return 1;
        }
        if (argc == 4) {
            const lumo::Status written =
                lumo::write_png(modelgen::preview_image(mesh), std::string(argv[3]) + "/" + name + ".png");
            if (!written) {
                std::fprintf(stderr, "lumo-modelgen: %s\n", written.error().report().c_str());
                return 1;
            }
        }
    }
    return 0;
}

// Reading the committed model texts in the model tests.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace lumo::testing_models {

// The committed text of model `number` (assets/models/model-NN.obj).
inline std::string model_text(int number) {
    char name[64];
    std::snprintf(name, sizeof name, "/assets/models/model-%02d.obj", number);
    std::ifstream in(std::string(LUMO_SOURCE_DIR) + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The whitespace-separated words of one line.
inline std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

}  // namespace lumo::testing_models

// A fresh folder under the temporary folder, made the current folder with an
// Aviaro.xml in it for as long as the object lives.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

class WorkFolder {
public:
    WorkFolder(const char* name, const char* aviaroXml)
        : path_(std::filesystem::temp_directory_path() / "aviaro-tests" / name),
          previous_(std::filesystem::current_path()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
        if (std::FILE* f = std::fopen("Aviaro.xml", "wb")) {
            std::fputs(aviaroXml, f);
            std::fclose(f);
        }
    }
    ~WorkFolder() { std::filesystem::current_path(previous_); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

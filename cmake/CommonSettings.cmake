# Settings every target of the project links: language level, string safety, warnings, sanitizers.
add_library(pexa_common INTERFACE)
target_compile_features(pexa_common INTERFACE cxx_std_20)
target_compile_definitions(pexa_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    PEXA_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    PEXA_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    PEXA_VERSION_REVISION=${PROJECT_VERSION_PATCH}
    $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)
target_compile_options(pexa_common INTERFACE -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Wshadow)
if(PEXA_SANITIZE)
    target_compile_options(pexa_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
    target_link_options(pexa_common INTERFACE -fsanitize=address,undefined)
endif()

file(GLOB_RECURSE PEXA_FORMAT_FILES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/*.cpp ${CMAKE_SOURCE_DIR}/src/*.h
    ${CMAKE_SOURCE_DIR}/tests/*.cpp ${CMAKE_SOURCE_DIR}/tests/*.h
    ${CMAKE_SOURCE_DIR}/bench/*.cpp ${CMAKE_SOURCE_DIR}/bench/*.h)

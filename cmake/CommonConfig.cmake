# One interface target carries the language level, warnings and Qt's safety defines for every target.
add_library(moonforge_flags INTERFACE)
target_compile_features(moonforge_flags INTERFACE cxx_std_20)
target_compile_options(moonforge_flags INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
    -fcoroutines)
target_compile_definitions(moonforge_flags INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS
    QT_NO_URL_CAST_FROM_STRING)

if(MOONFORGE_WERROR)
    target_compile_options(moonforge_flags INTERFACE -Werror)
    target_compile_definitions(moonforge_flags INTERFACE _GLIBCXX_ASSERTIONS)
endif()

if(MOONFORGE_SANITIZE)
    target_compile_options(moonforge_flags INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(moonforge_flags INTERFACE -fsanitize=address,undefined)
endif()

# Korvessa.cab, what a user installs, from Korvessa.inf: the device build's two files and the
# application its makers supply (a stand-in unless WRENFOLD_APPLICATION names theirs).
set(WRENFOLD_DEVICE_FILES ${PROJECT_SOURCE_DIR}/build/device CACHE PATH
    "The folder holding the device build's Wrenfold.dll and CloseKorvessa.exe")
set(WRENFOLD_APPLICATION "" CACHE FILEPATH
    "Korvessa.exe as its makers supply it; empty for the stand-in application")
foreach(file Wrenfold.dll CloseKorvessa.exe)
    if(NOT EXISTS ${WRENFOLD_DEVICE_FILES}/${file})
        message(FATAL_ERROR "${WRENFOLD_DEVICE_FILES}/${file} is missing: build the device "
                "files first (cmake --preset device && cmake --build --preset device), or set "
                "WRENFOLD_DEVICE_FILES to the folder that holds them")
    endif()
endforeach()
if(WRENFOLD_APPLICATION)
    if(NOT EXISTS ${WRENFOLD_APPLICATION})
        message(FATAL_ERROR "WRENFOLD_APPLICATION: ${WRENFOLD_APPLICATION} is missing")
    endif()
    set(application ${WRENFOLD_APPLICATION})
else()
    # Any small file stands for the application: the simulated device plays the stand-in
    # application when the installed path is started.
    set(application ${CMAKE_CURRENT_BINARY_DIR}/stand-in/Korvessa.exe)
    file(WRITE ${application} "Korvessa stand-in application\n")
endif()

set(WRENFOLD_PACKAGE_APPLICATION ${application} CACHE INTERNAL "The package's Korvessa.exe")
set(WRENFOLD_PACKAGE_FILES
    Korvessa.exe=${application}
    CloseKorvessa.exe=${WRENFOLD_DEVICE_FILES}/CloseKorvessa.exe
    Wrenfold.dll=${WRENFOLD_DEVICE_FILES}/Wrenfold.dll
    CACHE INTERNAL "Each source file of Korvessa.inf and where it is")
set(file_arguments "")
set(file_paths "")
foreach(given ${WRENFOLD_PACKAGE_FILES})
    list(APPEND file_arguments --file ${given})
    string(REGEX REPLACE "^[^=]*=" "" path ${given})
    list(APPEND file_paths ${path})
endforeach()
set(WRENFOLD_PACKAGE_BUILD_ARGUMENTS ${file_arguments} CACHE INTERNAL
    "The builder's arguments that place Korvessa.inf's source files")

set(cabinet ${CMAKE_BINARY_DIR}/Korvessa.cab)
add_custom_command(OUTPUT ${cabinet}
    COMMAND package_builder ${file_arguments} ${CMAKE_CURRENT_SOURCE_DIR}/Korvessa.inf ${cabinet}
    DEPENDS package_builder Korvessa.inf ${file_paths}
    COMMENT "Building Korvessa.cab")
add_custom_target(korvessa_cab ALL DEPENDS ${cabinet})

# The Today themes the tests install, each a .tsk (a CE package under the name the Today settings
# look for) built from themes/<name>.inf beside Korvessa.cab, with pictures made here: no binary
# is kept in the tree. Other builds copy them from here by these names.
set(WRENFOLD_THEME_PACKAGES Water.tsk WaterToday.tsk WaterStart.tsk Plain.tsk CACHE INTERNAL
    "The theme packages beside Korvessa.cab, each from themes/<name>.inf")
set(pictures ${CMAKE_CURRENT_BINARY_DIR}/themes)
set(WRENFOLD_THEME_PICTURES ${pictures} CACHE INTERNAL "The folder of the themes' pictures")
set(picture_files ${pictures}/tdywater.gif ${pictures}/stwater.gif)
add_custom_command(OUTPUT ${picture_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${pictures}
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/themes/picture.sh ${pictures}/tdywater.gif 30 100 200
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/themes/picture.sh ${pictures}/stwater.gif 20 60 140
    DEPENDS themes/picture.sh
    COMMENT "Making the themes' pictures")
set(themes "")
foreach(theme ${WRENFOLD_THEME_PACKAGES})
    get_filename_component(name ${theme} NAME_WE)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${theme}
        COMMAND package_builder --source-folder ${pictures}
                ${CMAKE_CURRENT_SOURCE_DIR}/themes/${name}.inf ${CMAKE_BINARY_DIR}/${theme}
        DEPENDS package_builder themes/${name}.inf ${picture_files}
        COMMENT "Building ${theme}")
    list(APPEND themes ${CMAKE_BINARY_DIR}/${theme})
endforeach()
add_custom_target(theme_packages ALL DEPENDS ${themes})

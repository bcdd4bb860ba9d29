# Build rules for parameter sets and algorithm bundles, shared by the sample algorithms, the
# end-to-end tests and the benchmarks.

# vantrel_add_parb_files(<target> OUTPUT_DIR <dir> SOURCES <file.txt...>)
# Compiles each readable parameter set <stem>.txt into <dir>/<stem>.parb with the stand-in's parb
# tool; <target> builds them all. Bundles that list these files name <target> in their DEPENDS, so
# that one target runs the rules and a parallel build never runs them twice.
function(vantrel_add_parb_files target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "OUTPUT_DIR" "SOURCES")
    set(outputs)
    foreach(source IN LISTS ARG_SOURCES)
        get_filename_component(source ${source} ABSOLUTE)
        get_filename_component(stem ${source} NAME_WE)
        set(output ${ARG_OUTPUT_DIR}/${stem}.parb)
        # Named by its target, the tool runs through the cross-compiling emulator when there is one.
        add_custom_command(
            OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_OUTPUT_DIR}
            COMMAND weavegraph-parb ${source} ${output}
            DEPENDS ${source} weavegraph-parb
            COMMENT "Compiling parameter set ${stem}.parb")
        list(APPEND outputs ${output})
    endforeach()
    add_custom_target(${target} DEPENDS ${outputs})
endfunction()

# vantrel_add_bundle(<target> QRC <file.qrc | file.qrc.in> OUTPUT <file.hpd> [DEPENDS <targets...>])
# Compiles a resource list into a binary bundle with rcc; <target> builds it. A .qrc.in is first
# configured into <build dir>/qrc/, with @SOURCE_DIR@ set to its own folder and the caller's
# variables for the rest. Qt's macro reads the files to depend on from the list; DEPENDS names the
# targets that generate some of them.
function(vantrel_add_bundle target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "QRC;OUTPUT" "DEPENDS")
    get_filename_component(qrc ${ARG_QRC} ABSOLUTE)
    if(qrc MATCHES "\\.in$")
        get_filename_component(SOURCE_DIR ${qrc} DIRECTORY)
        get_filename_component(name ${qrc} NAME_WLE)
        configure_file(${qrc} ${CMAKE_CURRENT_BINARY_DIR}/qrc/${name} @ONLY)
        set(qrc ${CMAKE_CURRENT_BINARY_DIR}/qrc/${name})
    endif()
    # rcc does not make the output's folder, and the macro's rule has no step that would.
    get_filename_component(output_dir ${ARG_OUTPUT} DIRECTORY)
    file(MAKE_DIRECTORY ${output_dir})
    qt5_add_binary_resources(${target} ${qrc} DESTINATION ${ARG_OUTPUT})
    # The macro puts the bundle in "all"; it is built where a target needs it, as before.
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
    if(ARG_DEPENDS)
        add_dependencies(${target} ${ARG_DEPENDS})
    endif()
endfunction()

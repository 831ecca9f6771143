# vorlan_layer(name deps...): static library vorlan_<name> from src/<name>/*.cpp (module.cpp excluded).
function(vorlan_layer name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/module\\.cpp$")
  set(deps)
  foreach(d IN LISTS ARGN)
    if(TARGET vorlan_${d})
      list(APPEND deps vorlan_${d})
    else()
      list(APPEND deps ${d})
    endif()
  endforeach()
  if(sources)
    add_library(vorlan_${name} STATIC ${sources})
    target_include_directories(vorlan_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(vorlan_${name} PUBLIC ${deps})
  else()
    add_library(vorlan_${name} INTERFACE)
    target_include_directories(vorlan_${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(vorlan_${name} INTERFACE ${deps})
  endif()
endfunction()

# vorlan_plugin(folder ModuleName suffix): the loadable module built from src/<folder>/module.cpp.
# Modules hide everything but their four C entry points, as the host expects.
function(vorlan_plugin folder module suffix)
  if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/module.cpp)
    return()
  endif()
  add_library(${module} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/module.cpp)
  target_link_libraries(${module} PRIVATE vorlan_${folder})
  set_target_properties(${module} PROPERTIES PREFIX "" SUFFIX ${suffix}
    LIBRARY_OUTPUT_DIRECTORY ${VORLAN_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # Every symbol must resolve inside the module, except under the sanitizers, whose runtime
  # lives in the program that loads it.
  if(NOT VORLAN_SANITIZE AND NOT VORLAN_FUZZ)
    target_link_options(${module} PRIVATE -Wl,--no-undefined)
  endif()
  set_property(GLOBAL APPEND PROPERTY VORLAN_PLUGINS ${module})
endfunction()

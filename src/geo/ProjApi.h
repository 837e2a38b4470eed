// PROJ, opened when the first grid is: the library and the forty it pulls in
// (network, image formats, directory services) would otherwise be loaded at
// every start of `jvs`, whatever the command.
#pragma once

#include <proj.h>
#include <proj_experimental.h>

#include <string>

#define JVS_PROJ_FUNCTIONS(X)                                            \
    X(proj_as_proj_string)                                               \
    X(proj_clone)                                                        \
    X(proj_context_create)                                               \
    X(proj_context_destroy)                                              \
    X(proj_context_set_enable_network)                                   \
    X(proj_context_set_file_finder)                                      \
    X(proj_coord)                                                        \
    X(proj_coordoperation_get_accuracy)                                  \
    X(proj_coordoperation_get_grid_used_count)                           \
    X(proj_create)                                                       \
    X(proj_create_crs_to_crs_from_pj)                                    \
    X(proj_create_ellipsoidal_2D_cs)                                     \
    X(proj_create_geographic_crs)                                        \
    X(proj_create_operation_factory_context)                             \
    X(proj_create_operations)                                            \
    X(proj_crs_demote_to_2D)                                             \
    X(proj_crs_get_datum_forced)                                         \
    X(proj_crs_get_geodetic_crs)                                         \
    X(proj_crs_get_sub_crs)                                              \
    X(proj_destroy)                                                      \
    X(proj_ellipsoid_get_parameters)                                     \
    X(proj_get_area_of_use)                                              \
    X(proj_get_ellipsoid)                                                \
    X(proj_get_id_auth_name)                                             \
    X(proj_get_id_code)                                                  \
    X(proj_get_name)                                                     \
    X(proj_get_type)                                                     \
    X(proj_info)                                                         \
    X(proj_is_crs)                                                       \
    X(proj_list_destroy)                                                 \
    X(proj_list_get)                                                     \
    X(proj_list_get_count)                                               \
    X(proj_log_func)                                                     \
    X(proj_log_level)                                                    \
    X(proj_normalize_for_visualization)                                  \
    X(proj_operation_factory_context_destroy)                            \
    X(proj_operation_factory_context_set_allow_ballpark_transformations) \
    X(proj_operation_factory_context_set_grid_availability_use)          \
    X(proj_operation_factory_context_set_spatial_criterion)              \
    X(proj_trans)

struct CProjApi {
#define JVS_PROJ_POINTER(name) decltype(&::name) name = nullptr;
    JVS_PROJ_FUNCTIONS(JVS_PROJ_POINTER)
#undef JVS_PROJ_POINTER
};

// The library's functions, loaded once; nullptr when it cannot be loaded
// (`message` then says so, UTF-8).
const CProjApi* ProjApi(std::string* message);

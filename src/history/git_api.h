// SPDX-License-Identifier: Apache-2.0
// libgit2, loaded the first time a history repository is opened rather than when the program
// starts: libgit2 and the libraries it needs (TLS, Kerberos, SSH) take about 2 ms to load and
// relocate, which every corvix-cli call would pay, most of which never touch the history.
// Types and constants come from <git2.h>; the functions are called through Api().
#pragma once

#include <git2.h>

#include <string>

namespace corvix::history::git {

// Every libgit2 function the history calls.
#define CORVIX_GIT_FUNCTIONS(X) \
    X(git_blob_create_from_buffer) \
    X(git_blob_free) \
    X(git_blob_lookup) \
    X(git_blob_rawcontent) \
    X(git_blob_rawsize) \
    X(git_checkout_tree) \
    X(git_commit_author) \
    X(git_commit_create) \
    X(git_commit_free) \
    X(git_commit_id) \
    X(git_commit_lookup) \
    X(git_commit_message) \
    X(git_commit_time) \
    X(git_commit_time_offset) \
    X(git_commit_tree) \
    X(git_error_last) \
    X(git_graph_descendant_of) \
    X(git_libgit2_init) \
    X(git_libgit2_opts) \
    X(git_libgit2_shutdown) \
    X(git_object_free) \
    X(git_object_peel) \
    X(git_odb_hash) \
    X(git_oid_cpy) \
    X(git_oid_equal) \
    X(git_oid_fromstr) \
    X(git_oid_tostr) \
    X(git_reference_create) \
    X(git_reference_create_matching) \
    X(git_reference_free) \
    X(git_reference_lookup) \
    X(git_reference_name) \
    X(git_reference_name_to_id) \
    X(git_reference_symbolic_target) \
    X(git_reference_target) \
    X(git_reference_type) \
    X(git_repository_free) \
    X(git_repository_head) \
    X(git_repository_head_unborn) \
    X(git_repository_init_ext) \
    X(git_repository_is_bare) \
    X(git_repository_open_ext) \
    X(git_repository_path) \
    X(git_revparse_single) \
    X(git_revwalk_free) \
    X(git_revwalk_hide) \
    X(git_revwalk_new) \
    X(git_revwalk_next) \
    X(git_revwalk_push) \
    X(git_revwalk_sorting) \
    X(git_signature_default) \
    X(git_signature_free) \
    X(git_signature_now) \
    X(git_tree_create_updated) \
    X(git_tree_entry_byindex) \
    X(git_tree_entry_byname) \
    X(git_tree_entry_bypath) \
    X(git_tree_entry_free) \
    X(git_tree_entry_id) \
    X(git_tree_entry_name) \
    X(git_tree_entry_type) \
    X(git_tree_entrycount) \
    X(git_tree_free) \
    X(git_tree_id) \
    X(git_tree_lookup) \
    X(git_treebuilder_free) \
    X(git_treebuilder_new) \
    X(git_treebuilder_write)

struct Functions {
#define CORVIX_GIT_POINTER(name) decltype(&::name) name = nullptr;
    CORVIX_GIT_FUNCTIONS(CORVIX_GIT_POINTER)
#undef CORVIX_GIT_POINTER
};

// Loads the library once (thread-safe) and initialises it; false, with the reason in
// `error`, when it or one of its functions cannot be found.
bool Load(std::string& error);
// The functions; only after Load() succeeded.
const Functions& Api();

}  // namespace corvix::history::git

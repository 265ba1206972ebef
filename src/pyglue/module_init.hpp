// Modules whose initialisation errors reach the importer as they were raised.
//
// NB_MODULE turns any error raised while a module initialises into an ImportError
// ("Encountered an error while initializing the extension.") with the real error only as
// its cause. Our modules are declared with PYGLUE_MODULE instead, so that, as with a
// module written in Python, the importer gets the error itself (a missing configuration
// name is an ImportError, a value of the wrong type a TypeError, a missing dependency a
// ModuleNotFoundError). Each also keeps nanobind's leak report quiet when a daemon thread
// outlives the interpreter's exit (leak_reports.hpp). Everything else is as with NB_MODULE,
// whose expansion this mirrors (the nanobind-internal steps it takes are in internals.hpp):
// multi-phase initialisation, so each import builds a fresh module.
#pragma once

#include <nanobind/nanobind.h>

#include "internals.hpp"
#include "leak_reports.hpp"

#define PYGLUE_MODULE(name, variable) PYGLUE_MODULE_IMPL(name, variable)
#define PYGLUE_MODULE_IMPL(name, variable)                                                 \
    static void pyglue_##name##_exec_impl(nanobind::module_);                              \
    static int pyglue_##name##_exec(PyObject *m) {                                         \
        pyglue::internals::nanobind_module_exec(m);                                        \
        try {                                                                              \
            pyglue::quiet_leak_reports_if_daemons_outlive_exit();                          \
            pyglue_##name##_exec_impl(nanobind::borrow<nanobind::module_>(m));             \
            return 0;                                                                      \
        } catch (nanobind::python_error &e) {                                              \
            e.restore();                                                                   \
        } catch (const std::exception &e) {                                                \
            PyErr_SetString(PyExc_ImportError, e.what());                                  \
        }                                                                                  \
        return -1;                                                                         \
    }                                                                                      \
    static PyModuleDef_Slot pyglue_##name##_slots[] = {                                    \
        {Py_mod_exec, (void *)pyglue_##name##_exec}, NB_MODULE_SLOTS_2};                   \
    static struct PyModuleDef pyglue_##name##_module = {                                   \
        PyModuleDef_HEAD_INIT, #name,   nullptr, 0, nullptr, pyglue_##name##_slots,        \
        nullptr,               nullptr, pyglue::internals::nanobind_module_free};          \
    extern "C" [[maybe_unused]] NB_EXPORT PyObject *PyInit_##name(void);                   \
    extern "C" PyObject *PyInit_##name(void) {                                             \
        return PyModuleDef_Init(&pyglue_##name##_module);                                  \
    }                                                                                      \
    void pyglue_##name##_exec_impl(nanobind::module_ variable)

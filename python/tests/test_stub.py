"""The type stub says what the module has: the same functions with the same
parameters in the same order, the same classes with the same attributes."""

import ast
import inspect
import pathlib
import re

import quillmore

STUB = pathlib.Path(quillmore.__file__).with_name("quillmore.pyi")


def stub_tree():
    return ast.parse(STUB.read_text())


def module_parameters(function):
    """Parameter names from the signature pybind11 writes into the docstring."""
    first = function.__doc__.splitlines()[0]
    inside = first[first.index("(") + 1:first.rindex(") ->")]
    return [m.group(1) for m in re.finditer(r"(?:^|, )(\w+):", inside)]


def test_every_function_has_its_parameters_in_the_stub():
    stubbed = {}
    for node in stub_tree().body:
        if isinstance(node, ast.FunctionDef):
            a = node.args
            stubbed[node.name] = [p.arg for p in a.posonlyargs + a.args + a.kwonlyargs]
    functions = {name for name, value in vars(quillmore).items()
                 if callable(value) and not inspect.isclass(value) and not name.startswith("_")}
    assert set(stubbed) == functions
    for name in functions:
        assert stubbed[name] == module_parameters(getattr(quillmore, name)), name


def test_every_class_has_its_attributes_in_the_stub():
    stubbed = {node.name: {item.target.id for item in node.body if isinstance(item, ast.AnnAssign)}
               for node in stub_tree().body if isinstance(node, ast.ClassDef)}
    classes = {name: value for name, value in vars(quillmore).items() if inspect.isclass(value)}
    assert set(stubbed) == set(classes)
    for name, cls in classes.items():
        attributes = {a for a, v in vars(cls).items() if isinstance(v, property)}
        assert stubbed[name] == attributes, name

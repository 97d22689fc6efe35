// The page's lint. Run from the repository's root (tests/page holds the page's unit tests):
//   panel/page/node_modules/.bin/eslint --config panel/page/eslint.config.js panel/page tests/page
import js from '@eslint/js';
import globals from 'globals';

const language = { ecmaVersion: 2020, sourceType: 'module' };

export default [
  { ignores: ['**/node_modules/'] },
  js.configs.recommended,
  {
    languageOptions: { ...language, globals: {} },
    rules: {
      eqeqeq: 'error',
      'no-var': 'error',
      'prefer-const': 'error',
      'no-shadow': 'error',
      'no-unused-vars': ['error', { args: 'after-used', caughtErrors: 'none' }],
      'object-shorthand': 'error',
    },
  },
  // The DOM belongs to the view and the start; the logic sees only the language's own globals,
  // so Node's test runner can drive it.
  {
    files: ['panel/page/src/view.js', 'panel/page/src/main.js'],
    languageOptions: { ...language, globals: globals.browser },
  },
  {
    files: ['panel/page/*.{js,mjs}', 'tests/page/**/*.mjs'],
    languageOptions: { ...language, ecmaVersion: 2022, globals: globals.node },
  },
];
